// tidewell-engine: finds development projects, measures their regenerable
// folders, and moves chosen ones to the Trash.

#include "CacheHelper.h"
#include "CleanCommand.h"
#include "CleanHelper.h"
#include "CleanJournal.h"
#include "CommandLine.h"
#include "Database.h"
#include "GitWork.h"
#include "HelperProcess.h"
#include "Home.h"
#include "ProjectDetector.h"
#include "Rules.h"
#include "ScanCommand.h"
#include "Signals.h"
#include "TrashMover.h"
#include "WalkHelper.h"
#include "core/EngineRecords.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

using namespace tidewell;
using namespace tidewell::engine;

namespace {

void printDocument(const std::string& json) {
    std::fwrite(json.data(), 1, json.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "tidewell-engine: %s\n", message.c_str());
    return 1;
}

int run(const CommandLine& cl, const std::atomic<bool>& stop) {
    const std::string home = homeFolder();
    Rules rules;
    try {
        rules = cl.rulesFile ? loadRulesFile(*cl.rulesFile, home) : builtinRules(home);
    } catch (const RulesError& e) {
        return fail(e.what());
    }
    const ProjectDetector detector(rules);
    const std::string dbPath = cl.dbFile ? normalizePath(*cl.dbFile) : dataHome() + "/Tidewell/tidewell.sqlite";

    try {
        Database db(dbPath);
        if (cl.command != "clean" || !cl.clean.execute) {
            // A clean cut short is settled by whatever command comes next
            // (a real clean settles them under its own lock); when that
            // cannot be done now, this command still is.
            try {
                CleanJournal(db).settleIfIdle(stop);
            } catch (const DatabaseError& e) {
                std::fprintf(stderr, "tidewell-engine: an interrupted clean cannot be completed yet: %s\n", e.what());
            }
        }
        if (cl.command == "scan") {
            ScanOptions options = cl.scan;
            if (cl.rulesFile) options.rulesFile = normalizePath(*cl.rulesFile);
            auto dashboard = runScan(options, detector, db, stop, stderr);
            if (!dashboard) endByTermination();
            printDocument(encode(*dashboard));
        } else if (cl.command == "last") {
            auto dashboard = db.lastDashboard();
            printDocument(dashboard ? encode(*dashboard) : "null");
        } else if (cl.command == "log") {
            printDocument(encodeArray(db.operations(cl.limit)));
        } else {
            TrashMover mover(dataHome());
            CleanOptions options = cl.clean;
            if (cl.rulesFile) options.rulesFile = normalizePath(*cl.rulesFile);
            const CleanOutcome outcome = runClean(options, detector, db, mover, stop);
            if (outcome.interrupted || stop.load()) endByTermination();
            printDocument(encode(outcome.report));
            if (!outcome.unrecorded.empty()) fail(outcome.unrecorded);
        }
    } catch (const DatabaseError& e) {
        return fail(e.what());
    } catch (const CleanRefused& e) {
        return fail(e.what());
    }
    if (stop.load()) endByTermination();
    return 0;
}

// A helper the engine started for what can hold or flood it (HelperProcess.h).
int runHelper(const CommandLine& cl) {
    enterHelper(cl.helperAddressSpace);
    if (cl.helperMode == kGitWorkHelper) return gitWorkHelper(cl.helperArgs);
    if (cl.helperMode == kWalkHelper) return walkHelper(cl.helperArgs);
    if (cl.helperMode == kSettleHelper) return settleHelper(cl.helperArgs);
    if (cl.helperMode == kCleanHelper) return cleanHelper(cl.helperArgs);
    if (cl.helperMode == kCacheHelper) return cacheHelper(cl.helperArgs);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine cl;
    try {
        cl = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "tidewell-engine: %s (see tidewell-engine --help)\n", e.what());
        return 2;
    }
    if (!cl.helperMode.empty()) return runHelper(cl);
    const std::atomic<bool>& stop = installTerminationFlag();
    if (cl.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    try {
        return run(cl, stop);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}
