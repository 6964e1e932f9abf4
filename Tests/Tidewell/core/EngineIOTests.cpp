#include "core/EngineIO.h"

#include "foundation/Log.h"

#include <gtest/gtest.h>

using tidewell::EngineIO;
using tidewell::ScanProgressEvent;

TEST(EngineIO, StandardOutputIsCutAtTheLimitAndTheRestDropped) {
    EngineIO io({}, 10);
    io.appendStdout("12345");
    io.appendStdout("678");
    io.appendStdout("9ABCDEF");  // only "9A" fits
    io.appendStdout("more");     // full: dropped
    EXPECT_EQ(io.stdoutBytes(), "123456789A");
}

TEST(EngineIO, ProgressLinesGoToTheHandlerAndNeverToTheDiagnostics) {
    std::vector<ScanProgressEvent> events;
    EngineIO io([&events](const ScanProgressEvent& e) { events.push_back(e); });
    platform::LogCapture log;
    io.handleStderrLine(R"(PROGRESS:{"phase":"walk","message":"Walking","path":"/p","projects_found":3,"roots_done":0,"roots_total":1})");
    io.handleStderrLine(R"(PROGRESS:{"phase":"walk","message":"no totals"})");  // broken: dropped silently
    io.handleStderrLine("PROGRESS:not json");
    io.handleStderrLine("progress:{}");  // the prefix is case-sensitive: a diagnostic
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].path, "/p");
    EXPECT_EQ(events[0].projects_found, 3);
    EXPECT_EQ(io.keptStderrLines(), std::vector<std::string>{"progress:{}"});
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Tidewell engine: progress:{}"});
}

TEST(EngineIO, DiagnosticsAreAllLoggedButOnlyTheFirstOnesKept) {
    EngineIO io({}, 100, 3);
    platform::LogCapture log;
    for (int i = 1; i <= 5; ++i) io.handleStderrLine("line " + std::to_string(i));
    io.handleStderrLine("");
    EXPECT_EQ(io.keptStderrLines(), (std::vector<std::string>{"line 1", "line 2", "line 3"}));
    EXPECT_EQ(log.lines().size(), 5u);
    EXPECT_EQ(log.lines().back(), "Tidewell engine: line 5");
}

TEST(EngineIO, AThrowingProgressHandlerDoesNotEndTheReader) {
    EngineIO io([](const ScanProgressEvent&) { throw std::runtime_error("view gone"); });
    io.appendStderr(R"(PROGRESS:{"phase":"start","message":"","projects_found":0,"roots_done":0,"roots_total":0})" "\nafter\n");
    EXPECT_EQ(io.keptStderrLines(), std::vector<std::string>{"after"});
}
