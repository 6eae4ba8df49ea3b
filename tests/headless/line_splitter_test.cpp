#include "headless/line_splitter.h"

#include <gtest/gtest.h>

#include <vector>

#include "headless/stdin_command.h"

namespace tarnwick {
namespace {

TEST(LineSplitterTest, CutsLinesHoweverTheChunksFall) {
    LineSplitter splitter(kLongestCommandLine);
    std::vector<InputLine> lines;
    splitter.Feed("AB", lines);
    EXPECT_TRUE(lines.empty());
    splitter.Feed("C\nD", lines);
    splitter.Feed("E\n\n\nF", lines);
    splitter.Finish(lines);
    EXPECT_EQ(lines, (std::vector<InputLine>{{"ABC"}, {"DE"}, {""}, {""}, {"F"}}));
    splitter.Finish(lines);  // nothing pending, nothing added
    EXPECT_EQ(lines.size(), 5u);
}

TEST(LineSplitterTest, DiscardsALongLineOnceAsItGrowsPastTheBound) {
    LineSplitter splitter(4);
    std::vector<InputLine> lines;
    splitter.Feed("ABCD\nAB", lines);
    splitter.Feed("CDE", lines);
    EXPECT_EQ(lines, (std::vector<InputLine>{{"ABCD"}, {"ABCD", true}}));
    for (int i = 0; i < 1000; ++i) {
        splitter.Feed("FGHIJKLMNOPQRSTUVWXYZ", lines);  // its end has not come yet
    }
    splitter.Feed("Z\nXY\nABCDE", lines);
    splitter.Finish(lines);
    EXPECT_EQ(lines, (std::vector<InputLine>{{"ABCD"}, {"ABCD", true}, {"XY"}, {"ABCD", true}}));
}

TEST(LineSplitterTest, ACrBeforeTheLineFeedIsNoPartOfTheLine) {
    LineSplitter splitter(4);
    std::vector<InputLine> lines;
    splitter.Feed("AB\r\nABCD\r", lines);  // the longest line, its CR LF cut by the read
    splitter.Feed("\nA\rB\n\r\nC\r", lines);
    splitter.Finish(lines);
    EXPECT_EQ(lines, (std::vector<InputLine>{{"AB"}, {"ABCD"}, {"A\rB"}, {""}, {"C"}}));
}

}  // namespace
}  // namespace tarnwick
