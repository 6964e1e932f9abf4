#include "SizeAccounting.h"

#include <gtest/gtest.h>

using namespace tidewell::engine;

namespace {
LinkSeen link(std::uint64_t ino, std::uint64_t nlink, int owner, int artifact, std::uint64_t bytes = 4096) {
    return {1, ino, bytes, nlink, owner, artifact};
}
}  // namespace

TEST(SizeAccounting, ArtifactCountsAFileOnlyWhenAllItsLinksAreInside) {
    // owner 0: a project with artifact 0 (node_modules) and artifact 1 (build)
    std::vector<LinkSeen> seen = {
        link(10, 2, 0, 0), link(10, 2, 0, 0),  // both links inside node_modules
        link(11, 2, 0, 0),                     // the other link is in a store outside the walk
        link(12, 2, 0, 0), link(12, 2, 0, 1),  // one link in each artifact
        link(13, 3, 0, 0), link(13, 3, 0, 0), link(13, 3, 0, -1),  // one link outside artifacts
    };
    const LinkTotals t = settleHardLinks(seen, {-1}, {true}, 2);
    EXPECT_EQ(t.artifactBytes[0], 4096u);
    EXPECT_EQ(t.artifactBytes[1], 0u);
    EXPECT_EQ(t.ownerBytes[0], 4u * 4096) << "each file once in the project";
    EXPECT_EQ(t.distinctBytes, 4u * 4096);
}

TEST(SizeAccounting, NestedProjectsShareTheirFilesWithTheProjectsAroundThem) {
    // owner 1 nested in owner 0; owner 2 separate; owner 3 a cache (not in the union)
    std::vector<LinkSeen> seen = {
        link(1, 2, 1, -1), link(1, 2, 0, -1),  // in inner and outer: once in each
        link(2, 2, 1, -1), link(2, 2, 2, -1),  // shared between two unrelated projects
        link(3, 2, 3, -1), link(3, 2, 3, -1),  // only in the cache
    };
    const LinkTotals t = settleHardLinks(seen, {-1, 0, -1, -1}, {true, true, true, false}, 0);
    EXPECT_EQ(t.ownerBytes[0], 2u * 4096);
    EXPECT_EQ(t.ownerBytes[1], 2u * 4096);
    EXPECT_EQ(t.ownerBytes[2], 4096u);
    EXPECT_EQ(t.ownerBytes[3], 4096u);
    EXPECT_EQ(t.distinctBytes, 2u * 4096) << "files seen only by a cache are not project bytes";
}

TEST(SizeAccounting, SumsSaturateInsteadOfWrapping) {
    EXPECT_EQ(saturatingAdd(UINT64_MAX - 1, 5), UINT64_MAX);
    EXPECT_EQ(saturatingSub(3, 5), 0u);
    std::vector<LinkSeen> seen = {link(1, 2, 0, 0, UINT64_MAX), link(1, 2, 0, 0, UINT64_MAX), link(2, 2, 0, 0, 10), link(2, 2, 0, 0, 10)};
    const LinkTotals t = settleHardLinks(seen, {-1}, {true}, 1);
    EXPECT_EQ(t.artifactBytes[0], UINT64_MAX);
}
