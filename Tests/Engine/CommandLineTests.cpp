#include "CommandLine.h"

#include <gtest/gtest.h>

using namespace tidewell::engine;

TEST(CommandLine, ReadsTheApplicationsCommandLines) {
    auto cl = parseCommandLine({"--rules", "r.yaml", "--db", "d.sqlite", "scan", "--json", "--progress", "--idle-days", "30",
                                "--max-depth", "12", "--root", "/a b", "--root", "/c"});
    EXPECT_EQ(cl.rulesFile, "r.yaml");
    EXPECT_EQ(cl.dbFile, "d.sqlite");
    EXPECT_EQ(cl.command, "scan");
    EXPECT_TRUE(cl.scan.progress);
    EXPECT_EQ(cl.scan.idleDays, 30);
    EXPECT_EQ(cl.scan.maxDepth, 12);
    EXPECT_EQ(cl.scan.roots, (std::vector<std::string>{"/a b", "/c"}));

    cl = parseCommandLine({"--db", "d", "clean", "--project", "/p", "--json", "--execute", "--caution"});
    EXPECT_EQ(cl.clean.projectPath, "/p");
    EXPECT_TRUE(cl.clean.execute);
    EXPECT_TRUE(cl.clean.caution);

    cl = parseCommandLine({"log", "--limit", "50", "--json"});
    EXPECT_EQ(cl.limit, 50);
    EXPECT_TRUE(parseCommandLine({"scan", "--help"}).help);
}

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
         }) {
        EXPECT_THROW(parseCommandLine(args), UsageError) << (args.empty() ? "(none)" : args.back());
    }
}
