#include "core/ShareMounts.h"

#include <charconv>
#include <set>
#include <vector>

#include "core/CleanRules.h"
#include "foundation/Files.h"

namespace tidewell {

namespace {

// A field as mountinfo writes it: space, tab, newline and backslash as \ooo.
std::string unescaped(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t at) { return at < field.size() && field[at] >= '0' && field[at] <= '7'; };
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

std::vector<std::string_view> fieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t at = 0; at < line.size();) {
        const auto end = std::min(line.find(' ', at), line.size());
        if (end > at) fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return fields;
}

bool asksAServer(std::string_view type) {
    static const std::set<std::string_view> remote = {"9p",    "afs",   "beegfs", "ceph",     "cifs",     "coda",
                                                      "davfs", "gfs2",  "glusterfs", "gpfs",  "lustre",   "ncpfs",
                                                      "nfs",   "nfs4",  "ocfs2",  "orangefs", "smb3",     "smbfs",
                                                      "virtiofs"};
    return type.starts_with("fuse") || remote.count(type) != 0;
}

}  // namespace

std::string readMountTable() {
    if (auto own = platform::readFileContents("/proc/thread-self/mountinfo")) return *own;
    return platform::readFileContents("/proc/self/mountinfo").value_or(std::string());
}

std::optional<std::uint64_t> shareHolding(const std::string& path, std::string_view mountTable) {
    if (path.empty() || path.front() != '/') return std::nullopt;
    std::size_t deepest = 0;
    std::optional<std::uint64_t> share;
    for (std::size_t at = 0; at < mountTable.size();) {
        const auto end = std::min(mountTable.find('\n', at), mountTable.size());
        const auto fields = fieldsOf(mountTable.substr(at, end - at));
        at = end + 1;
        // ID PARENT MAJOR:MINOR ROOT POINT OPTIONS [OPTIONAL...] - TYPE SOURCE ...
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") ++dash;
        std::uint64_t id = 0;
        if (dash + 1 >= fields.size() ||
            std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), id).ec != std::errc{})
            continue;
        const auto point = unescaped(fields[4]);
        // A later mount on the same point lies over the earlier one.
        if (point == "/" || point.size() < deepest || !isPathInside(path, point)) continue;
        deepest = point.size();
        share = asksAServer(fields[dash + 1]) ? std::optional(id) : std::nullopt;
    }
    return share;
}

}  // namespace tidewell
