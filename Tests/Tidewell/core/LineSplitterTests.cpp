#include "core/LineSplitter.h"

#include <gtest/gtest.h>

using tidewell::LineSplitter;

namespace {

std::vector<std::string> split(const std::vector<std::string>& chunks) {
    LineSplitter splitter;
    std::vector<std::string> lines;
    auto collect = [&lines](const std::string& line) { lines.push_back(line); };
    for (const auto& chunk : chunks) splitter.append(chunk, collect);
    splitter.finish(collect);
    return lines;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(LineSplitter, LinesAcrossChunkBoundaries) {
    EXPECT_EQ(split({"PROGRESS:{\"a\"", ":1}\nsec", "ond\nthi", "rd\n"}), (Lines{"PROGRESS:{\"a\":1}", "second", "third"}));
    EXPECT_EQ(split({"a", "", "b", "\n"}), (Lines{"ab"}));
    EXPECT_EQ(split({"one\ntwo\nthree\n"}), (Lines{"one", "two", "three"}));
}

TEST(LineSplitter, LastLineWithoutNewline) {
    EXPECT_EQ(split({"first\nlast"}), (Lines{"first", "last"}));
    EXPECT_EQ(split({"first\n"}), (Lines{"first"}));
    EXPECT_EQ(split({"\r"}), Lines{});  // only a carriage return: nothing is left
}

TEST(LineSplitter, CarriageReturnsTrimmedAtBothEnds) {
    EXPECT_EQ(split({"a\r\n", "\r\rb\r\r\n", "c\rd\n"}), (Lines{"a", "b", "c\rd"}));
    EXPECT_EQ(split({"x\r", "\ny"}), (Lines{"x", "y"}));  // CR and LF in different chunks
}

TEST(LineSplitter, EmptyLinesAreHandedOnAndInvalidUtf8BecomesEmpty) {
    EXPECT_EQ(split({"\n\nx\n"}), (Lines{"", "", "x"}));
    EXPECT_EQ(split({"ok\n\xff\xfe bad\nnaïve\n"}), (Lines{"ok", "", "naïve"}));
    // A character split between two chunks is whole again in its line.
    EXPECT_EQ(split({"na\xC3", "\xAFve\n"}), (Lines{"naïve"}));
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
