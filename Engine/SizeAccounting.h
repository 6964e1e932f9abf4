#pragma once
// Bytes on disk with hard links counted once. Files with a single link are
// summed as the walk goes; files with several links are noted and settled
// here after the walk, when every link that lies in the walked tree is known.

#include <cstdint>
#include <vector>

namespace tidewell::engine {

inline std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t s = a + b;
    return s < a ? UINT64_MAX : s;
}

inline std::uint64_t saturatingSub(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : 0; }

// One link of a multiply-linked file met by the walk.
struct LinkSeen {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    std::uint64_t bytes = 0;  // allocated bytes of the file
    std::uint64_t nlink = 0;  // links the file has in all
    int owner = -1;           // innermost measured folder (project or cache) holding the link
    int artifact = -1;        // artifact folder holding the link, or -1
};

struct LinkTotals {
    std::vector<std::uint64_t> ownerBytes;     // per owner: each file once, nested owners included
    std::vector<std::uint64_t> artifactBytes;  // per artifact: files all of whose links lie inside it
    std::uint64_t distinctBytes = 0;           // each file once over all owners counted in the union
};

// `ownerParent[i]` is the owner that encloses owner i (-1 for none): a file
// inside a nested project belongs to every project around it too.
// `inUnion[i]` tells whether owner i counts in `distinctBytes`.
// Sorts `seen`.
LinkTotals settleHardLinks(std::vector<LinkSeen>& seen, const std::vector<int>& ownerParent,
                           const std::vector<bool>& inUnion, std::size_t artifactCount);

}  // namespace tidewell::engine
