#include "SizeAccounting.h"

#include <algorithm>

namespace tidewell::engine {

LinkTotals settleHardLinks(std::vector<LinkSeen>& seen, const std::vector<int>& ownerParent,
                           const std::vector<bool>& inUnion, std::size_t artifactCount) {
    LinkTotals totals;
    totals.ownerBytes.assign(ownerParent.size(), 0);
    totals.artifactBytes.assign(artifactCount, 0);
    std::sort(seen.begin(), seen.end(), [](const LinkSeen& a, const LinkSeen& b) {
        if (a.dev != b.dev) return a.dev < b.dev;
        if (a.ino != b.ino) return a.ino < b.ino;
        return a.artifact < b.artifact;
    });

    std::vector<int> owners;  // owners holding the current file, each once
    std::size_t i = 0;
    while (i < seen.size()) {
        std::size_t j = i;
        while (j < seen.size() && seen[j].dev == seen[i].dev && seen[j].ino == seen[i].ino) ++j;
        const std::uint64_t bytes = seen[i].bytes;
        const std::uint64_t nlink = seen[i].nlink;

        owners.clear();
        for (std::size_t k = i; k < j; ++k)
            for (int o = seen[k].owner; o >= 0 && o < static_cast<int>(ownerParent.size()); o = ownerParent[o])
                if (std::find(owners.begin(), owners.end(), o) == owners.end()) owners.push_back(o);
        bool counted = false;
        for (int o : owners) {
            totals.ownerBytes[o] = saturatingAdd(totals.ownerBytes[o], bytes);
            counted = counted || (o < static_cast<int>(inUnion.size()) && inUnion[o]);
        }
        if (counted) totals.distinctBytes = saturatingAdd(totals.distinctBytes, bytes);

        // Links are sorted by artifact within the file: count each run.
        std::size_t k = i;
        while (k < j) {
            std::size_t m = k;
            while (m < j && seen[m].artifact == seen[k].artifact) ++m;
            const int a = seen[k].artifact;
            if (a >= 0 && a < static_cast<int>(artifactCount) && m - k >= nlink)
                totals.artifactBytes[a] = saturatingAdd(totals.artifactBytes[a], bytes);
            k = m;
        }
        i = j;
    }
    return totals;
}

}  // namespace tidewell::engine
