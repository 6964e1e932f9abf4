#pragma once
// The engine's command line:
//   tidewell-engine [--rules FILE] [--db FILE] COMMAND ...
//     scan  --json --progress --idle-days N --max-depth D --root PATH [--root PATH ...]
//     last  --json
//     log   --limit N --json
//     clean --project PATH --json [--execute] [--caution] [--artifact PATH ...]

#include "CleanCommand.h"
#include "HelperProcess.h"
#include "ScanCommand.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tidewell::engine {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CommandLine {
    std::optional<std::string> rulesFile;
    std::optional<std::string> dbFile;
    bool help = false;
    std::string command;  // "scan", "last", "log" or "clean"
    ScanOptions scan;
    std::int64_t limit = 50;
    CleanOptions clean;
    // A helper the engine started (HelperProcess.h), not a command: its mode,
    // the address space it may take, and the mode's own arguments.
    std::string helperMode;
    std::uint64_t helperAddressSpace = 0;
    std::vector<std::string> helperArgs;
};

// `args` without the program name. Throws UsageError.
CommandLine parseCommandLine(const std::vector<std::string>& args);

extern const char* const kUsage;

}  // namespace tidewell::engine
