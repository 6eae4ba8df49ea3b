#include "app/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/line_splitter.h"
#include "app/stdin_command.h"

namespace tarnwick {
namespace {

struct OptionsRow {
    const char* proves;
    std::vector<std::string_view> args;
    ParsedOptions parsed;
};

Options Set(bool Options::*flag) {
    Options options;
    options.*flag = true;
    return options;
}

TEST(OptionsTest, ParsesTheCommandLine) {
    const std::vector<OptionsRow> rows = {
        {"every option",
         {"--headless", "--port", "5000", "--auto-reply", "--hex", "--log-dir", "/x"},
         {{.headless = true, .autoReply = true, .hex = true, .port = "5000", .logDir = "/x"}, ""}},
        {"value after an equals sign", {"--port=5000"}, {{.port = "5000", .logDir = {}}, ""}},
        {"a valued option needs its value", {"--port"}, {{}, "--port needs a value"}},
        {"unknown option", {"--bogus"}, {{}, "unknown option: --bogus"}},
        {"help", {"--help"}, {Set(&Options::help), ""}},
        {"version", {"--version"}, {Set(&Options::version), ""}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ParseOptions(row.args), row.parsed) << row.proves;
    }
}

TEST(LineSplitterTest, CutsLinesHoweverTheChunksFall) {
    LineSplitter splitter;
    std::vector<std::string> lines;
    splitter.Feed("AB", lines);
    EXPECT_TRUE(lines.empty());
    splitter.Feed("C\nD", lines);
    splitter.Feed("E\n\n\nF", lines);
    splitter.Finish(lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"ABC", "DE", "", "", "F"}));
    splitter.Finish(lines);  // nothing pending, nothing added
    EXPECT_EQ(lines.size(), 5u);
}

TEST(StdinCommandTest, HexPrefixTicksHex) {
    EXPECT_EQ(ParseStdinCommand("hex:38 38"), (StdinCommand{"38 38", CommandMode::Hex}));
    EXPECT_EQ(ParseStdinCommand("ABC"), (StdinCommand{"ABC", CommandMode::Text}));
    EXPECT_EQ(ParseStdinCommand(" hex:38"), (StdinCommand{" hex:38", CommandMode::Text}));
}

}  // namespace
}  // namespace tarnwick
