#include "CleanHelper.h"

#include "CleanLock.h"
#include "HelperProcess.h"
#include "Home.h"
#include "ProjectDetector.h"
#include "Rules.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdlib>

namespace tidewell::engine {

namespace {

// A clean's folders are walked by as many threads as a walk's: its address
// space is a walk's.
constexpr std::uint64_t kCleanAddressSpace = std::uint64_t(2) << 30;

std::uint64_t toNumber(const std::string& s) {
    try {
        return std::stoull(s);
    } catch (const std::exception&) {
        return 0;
    }
}

// In the helper: each record asked of the engine, whose answer is waited for.
class AskedRecords final : public CleanRecords {
public:
    AskedRecords(HelperOutput& out, std::string lockPath) : out_(out), lockPath_(std::move(lockPath)) {}

    bool opened() override {
        const auto answer = ask({"opened"});
        return answer.at(0) == "go";
    }
    void recordMove(const OperationDTO&, int seq, const RecordedMove& move) override {
        done(ask({"record", std::to_string(seq), encode(move.item), move.info, move.trashed, std::to_string(move.folder.dev),
                  std::to_string(move.folder.ino), move.infoText}));
    }
    void dropMove(const std::string&, int seq) override { done(ask({"drop", std::to_string(seq)})); }
    bool movedByAnotherClean(const std::string& project, const std::string& path) override {
        return ask({"moved-by-another", project, path}).at(0) == "yes";
    }
    void moving(bool now) override { CleanLock::holdMove(lockPath_, now); }

private:
    std::vector<std::string> ask(std::initializer_list<std::string_view> fields) {
        out_.print(fields);
        const auto answer = helperAnswer();
        // The engine is gone: nothing more is moved, nor recorded.
        if (!answer) _exit(1);
        return helperFields(*answer);
    }
    static void done(const std::vector<std::string>& answer) {
        if (answer.at(0) != "ok") throw DatabaseError(answer.size() > 1 ? answer[1] : "the engine did not record it");
    }

    HelperOutput& out_;
    const std::string lockPath_;
};

// What the engine answers a record asked for: "ok", or why not.
template <class Record> std::string recorded(Record&& record) {
    try {
        record();
        return "ok";
    } catch (const DatabaseError& e) {
        return helperRecord({"error", e.what()});
    }
}

}  // namespace

int cleanHelper(const std::vector<std::string>& args) {
    if (args.size() < 8) return 2;
    CleanOptions options;
    options.projectPath = args[0];
    options.execute = args[1] == "1";
    options.caution = args[2] == "1";
    options.rulesFile = args[5];
    options.artifacts.assign(args.begin() + 8, args.end());
    OperationDTO op;
    op.id = args[3];
    op.timestamp_unix = static_cast<std::int64_t>(toNumber(args[4]));
    op.project_path = options.projectPath;
    op.dry_run = !options.execute;
    // A walk's threads each take an arena of malloc's own by default, whose
    // reserved room alone would reach the helper's address space.
    mallopt(M_ARENA_MAX, 4);
    HelperOutput out;
    // From the start: the first look may wait for a slow share too.
    HelperHeartbeat heartbeat(out);
    AskedRecords records(out, args[7]);
    try {
        const Rules rules = options.rulesFile.empty() ? builtinRules(homeFolder()) : loadRulesFile(options.rulesFile, homeFolder());
        const ProjectDetector detector(rules);
        TrashMover mover(args[6]);
        const std::atomic<bool> stop{false};
        const CleanOutcome outcome = cleanFolders(options, op, detector, records, mover, stop);
        out.print({"report", encode(outcome.report), outcome.interrupted ? "1" : "0", outcome.unrecorded});
    } catch (const CleanRefused& e) {
        out.print({"refused", e.what()});
    } catch (const RulesError& e) {
        out.print({"refused", e.what()});
    } catch (const DatabaseError& e) {
        out.print({"unrecorded", e.what()});
    }
    return 0;
}

std::optional<CleanOutcome> cleanApart(const CleanOptions& options, const OperationDTO& op, CleanRecords& records,
                                       const std::string& dataHome, const std::string& lockPath, const std::atomic<bool>& stop) {
    if (access(HelperProcess::executable.c_str(), X_OK) != 0) return std::nullopt;
    const std::string& project = *op.project_path;
    std::vector<std::string> args = {project, options.execute ? "1" : "0", options.caution ? "1" : "0", op.id,
                                     std::to_string(op.timestamp_unix), options.rulesFile, dataHome, lockPath};
    args.insert(args.end(), options.artifacts.begin(), options.artifacts.end());
    static HelperSlots slots(1);
    HelperProcess helper(std::string(kCleanHelper), args, HelperLimits{.silence = cleanSilenceWithin, .addressSpace = kCleanAddressSpace}, slots,
                         stop, true);
    const auto stopped = [] {
        CleanOutcome out;
        out.interrupted = true;
        return out;
    };
    const auto unreadable = [&] {
        return CleanRefused("project path " + project + " cannot be cleaned: the process cleaning it said what cannot be read");
    };
    bool opened = false;
    std::optional<CleanOutcome> outcome;
    for (std::string line; helper.nextLine(line);) {
        const std::vector<std::string> f = helperFields(line);
        const std::string& kind = f[0];
        try {
            if (kind == "alive") continue;
            if (kind == "opened") {
                opened = true;
                // Refused (another clean holds the lock): the helper is left,
                // having moved nothing.
                if (!records.opened()) return stopped();
                helper.answer("go");
            } else if (kind == "record" && f.size() == 8) {
                const RecordedMove move{decode<CleanItemDTO>(f[2]), f[3], f[4],
                                        {static_cast<dev_t>(toNumber(f[5])), static_cast<ino_t>(toNumber(f[6]))}, f[7]};
                helper.answer(recorded([&] { records.recordMove(op, static_cast<int>(toNumber(f[1])), move); }));
            } else if (kind == "drop" && f.size() == 2) {
                helper.answer(recorded([&] { records.dropMove(op.id, static_cast<int>(toNumber(f[1]))); }));
            } else if (kind == "moved-by-another" && f.size() == 3) {
                helper.answer(records.movedByAnotherClean(f[1], f[2]) ? "yes" : "no");
            } else if (kind == "refused" && f.size() == 2) {
                throw CleanRefused(f[1]);
            } else if (kind == "unrecorded" && f.size() == 2) {
                throw DatabaseError(f[1]);
            } else if (kind == "report" && f.size() == 4) {
                outcome = CleanOutcome{decode<CleanReportDTO>(f[1]), f[2] == "1", f[3]};
            } else {
                throw unreadable();
            }
        } catch (const DecodeError&) {
            throw unreadable();
        }
    }
    switch (helper.end()) {
        case HelperProcess::End::Finished:
            if (outcome) return outcome;
            throw unreadable();
        case HelperProcess::End::Stopped: return stopped();
        case HelperProcess::End::Silent:
            throw CleanRefused("project path " + project + " cannot be reached: its filesystem " +
                               (opened ? "stopped answering" : "does not answer"));
        case HelperProcess::End::Died:
        case HelperProcess::End::Running: break;
    }
    throw CleanRefused("project path " + project + " cannot be cleaned: the process cleaning it ended (" + helper.endText() + ")");
}

}  // namespace tidewell::engine
