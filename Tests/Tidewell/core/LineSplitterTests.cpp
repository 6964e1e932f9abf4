#include "core/LineSplitter.h"

#include <gtest/gtest.h>

using tidewell::LineSplitter;

namespace {
using Lines = std::vector<std::string>;

Lines split(const Lines& chunks) {
    LineSplitter splitter;
    Lines lines;
    auto collect = [&lines](const std::string& line) { lines.push_back(line); };
    for (const auto& chunk : chunks) splitter.append(chunk, collect);
    splitter.finish(collect);
    return lines;
}
}  // namespace

TEST(LineSplitter, ChunksBecomeLines) {
    const std::vector<std::pair<Lines, Lines>> cases{
        // Lines across chunk boundaries.
        {{"PROGRESS:{\"a\"", ":1}\nsec", "ond\nthi", "rd\n"}, {"PROGRESS:{\"a\":1}", "second", "third"}},
        {{"a", "", "b", "\n"}, {"ab"}},
        // A last line without newline; only a carriage return leaves nothing.
        {{"first\nlast"}, {"first", "last"}},
        {{"\r"}, {}},
        // Carriage returns trimmed at both ends, also when CR and LF arrive apart.
        {{"a\r\n", "\r\rb\r\r\n", "c\rd\n"}, {"a", "b", "c\rd"}},
        {{"x\r", "\ny"}, {"x", "y"}},
        // Empty lines are handed on; invalid UTF-8 becomes empty; a character
        // split between two chunks is whole again in its line.
        {{"\n\nx\n"}, {"", "", "x"}},
        {{"ok\n\xff\xfe bad\nnaïve\n"}, {"ok", "", "naïve"}},
        {{"na\xC3", "\xAFve\n"}, {"naïve"}},
    };
    for (const auto& [chunks, lines] : cases) EXPECT_EQ(split(chunks), lines) << chunks.front();
}

TEST(LineSplitter, HandlerMayFeedTheSameSplitterAgain) {
    // The lock is not held while a line is handled.
    LineSplitter splitter;
    Lines lines;
    std::function<void(const std::string&)> handler = [&](const std::string& line) {
        lines.push_back(line);
        if (line == "a") splitter.finish([&](const std::string& l) { lines.push_back("finished:" + l); });
    };
    splitter.append("a\nb\npartial", handler);
    EXPECT_EQ(lines, (Lines{"a", "finished:partial", "b"}));
    splitter.finish(handler);  // nothing left
    EXPECT_EQ(lines.size(), 3u);
}
