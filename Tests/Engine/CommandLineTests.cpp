#include "CommandLine.h"

#include <gtest/gtest.h>

using namespace tidewell::engine;

// What it accepts is exercised end to end by every engine run of the other tests.
TEST(CommandLine, RefusesWhatItDoesNotKnow) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"--db"},
             {"frobnicate"},
             {"--verbose", "scan"},
             {"scan", "--root"},
             {"scan", "--idle-days", "ten"},
             {"scan", "--idle-days", "-1"},
             {"scan", "--max-depth", "3x"},
             {"scan", "--execute"},
             {"last", "--limit", "3"},
             {"log", "--limit"},
             {"clean", "--json"},
             {"clean", "--project", ""},
             {"clean", "--project", "/p", "--artifact"},
             {"clean", "--project", "/p", "--artifact", "node_modules"},
         }) {
        EXPECT_THROW(parseCommandLine(args), UsageError) << (args.empty() ? "(none)" : args.back());
    }
    EXPECT_TRUE(parseCommandLine({"scan", "--help"}).help) << "help after a command is still help";
}
