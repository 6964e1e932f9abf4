#pragma once
// Which share a folder lies on: a network or FUSE mount, whose server can
// stop answering. Told from the kernel's mount table alone, never by asking
// the share, so it can be told while the share is silent.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

// The mount table this thread sees now (the text of its mountinfo); empty
// when it cannot be read.
std::string readMountTable();

// The id of the share that `path` (absolute) lies on, as `mountTable` lists
// it: the innermost mount holding the path, when it is of a filesystem that
// asks a server or a process for what it holds. None on a local filesystem,
// and on the mount at "/", which no look could be kept apart from.
std::optional<std::uint64_t> shareHolding(const std::string& path, std::string_view mountTable);

}  // namespace tidewell
