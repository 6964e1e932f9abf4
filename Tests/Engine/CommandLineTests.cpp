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
             {"--helper", "git-work"},
             {"--helper", "git-work", "many"},
             {"scan", "--helper", "git-work", "536870912"},
         }) {
        EXPECT_THROW(parseCommandLine(args), UsageError) << (args.empty() ? "(none)" : args.back());
    }
    EXPECT_TRUE(parseCommandLine({"scan", "--help"}).help) << "help after a command is still help";
    // A helper the engine starts is no command, and the usage never names it.
    EXPECT_EQ(parseCommandLine({"--helper", "git-work", "536870912", "--help"}).helperArgs, std::vector<std::string>{"--help"});
    EXPECT_EQ(std::string(kUsage).find("helper"), std::string::npos);
}
