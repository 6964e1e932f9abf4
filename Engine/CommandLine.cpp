#include "CommandLine.h"

#include <charconv>

namespace tidewell::engine {

const char* const kUsage =
    "Usage: tidewell-engine [--rules FILE] [--db FILE] COMMAND ...\n"
    "  scan  --json --progress --idle-days N --max-depth D --root PATH [--root PATH ...]\n"
    "  last  --json\n"
    "  log   --limit N --json\n"
    "  clean --project PATH --json [--execute] [--caution] [--artifact PATH ...]\n"
    "\n"
    "\n"
    "Finds development projects, measures their regenerable folders and moves\n"
    "chosen ones to the Trash. Prints one JSON document on standard output.\n"
    "\n"
    "clean without --execute is a dry run. --artifact (repeatable, an absolute\n"
    "path) limits the clean to those folders of the project, as a confirmed dry\n"
    "run listed them: each one that still qualifies is moved, each one that no\n"
    "longer does is reported as an item that failed, and no other folder is\n"
    "touched. Without --artifact, every artifact of the project qualifies.\n";

namespace {

std::int64_t number(const std::string& option, const std::string& value, std::int64_t min, std::int64_t max) {
    std::int64_t v = 0;
    const auto* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, v);
    if (value.empty() || ec != std::errc() || ptr != end || v < min || v > max)
        throw UsageError(option + " needs a whole number from " + std::to_string(min) + " to " + std::to_string(max) +
                         ", not \"" + value + "\"");
    return v;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    std::size_t i = 0;
    auto value = [&](const std::string& option) -> std::string {
        if (i + 1 >= args.size()) throw UsageError(option + " needs a value");
        return args[++i];
    };
    if (!args.empty() && args[0] == kHelperFlag) {
        if (args.size() < 3) throw UsageError("unknown option " + args[0]);
        cl.helperMode = args[1];
        cl.helperAddressSpace = static_cast<std::uint64_t>(number(args[0], args[2], 1 << 20, INT64_MAX));
        cl.helperArgs.assign(args.begin() + 3, args.end());
        return cl;
    }
    for (const auto& a : args)
        if (a == "--help" || a == "-h") {
            cl.help = true;
            return cl;
        }

    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--rules") cl.rulesFile = value(a);
        else if (a == "--db") cl.dbFile = value(a);
        else if (!a.empty() && a[0] == '-') throw UsageError("unknown option " + a);
        else break;
    }
    if (i >= args.size()) throw UsageError("no command given");
    cl.command = args[i++];
    if (cl.command != "scan" && cl.command != "last" && cl.command != "log" && cl.command != "clean")
        throw UsageError("unknown command " + cl.command);

    bool haveProject = false;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") continue;
        if (cl.command == "scan") {
            if (a == "--progress") cl.scan.progress = true;
            else if (a == "--idle-days") cl.scan.idleDays = number(a, value(a), 0, 1'000'000);
            else if (a == "--max-depth") cl.scan.maxDepth = static_cast<int>(number(a, value(a), 0, 4096));
            else if (a == "--root") cl.scan.roots.push_back(value(a));
            else throw UsageError("unknown option " + a + " for scan");
        } else if (cl.command == "log") {
            if (a == "--limit") cl.limit = number(a, value(a), 0, INT64_MAX);
            else throw UsageError("unknown option " + a + " for log");
        } else if (cl.command == "clean") {
            if (a == "--project") {
                cl.clean.projectPath = value(a);
                haveProject = true;
            } else if (a == "--execute") cl.clean.execute = true;
            else if (a == "--caution") cl.clean.caution = true;
            else if (a == "--artifact") {
                const std::string path = value(a);
                if (path.empty() || path.front() != '/') throw UsageError("--artifact needs an absolute path, not \"" + path + "\"");
                cl.clean.artifacts.push_back(path);
            }
            else throw UsageError("unknown option " + a + " for clean");
        } else {
            throw UsageError("unknown option " + a + " for " + cl.command);
        }
    }
    if (cl.command == "clean" && (!haveProject || cl.clean.projectPath.empty())) throw UsageError("clean needs --project PATH");
    for (const auto& r : cl.scan.roots)
        if (r.empty()) throw UsageError("--root needs a folder");
    return cl;
}

}  // namespace tidewell::engine
