#include "record/record_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

struct RecordRow {
    const char* proves;
    std::string text;
    bool device;
    bool ignored;
};

TEST(RecordRulesTest, SortsTexts) {
    const std::vector<RecordRow> rows = {
        {"shortest record", "#ST#", true, false},
        {"start alone ends in T", "#ST", false, false},
        {"plain record", "#ST,123;ID:4;#", true, false},
        {"colon in fourth place", "#ST:1,123;#", true, true},
        {"colon elsewhere", "#ST1:,123;#", true, false},
        {"trailing line break", "#ST,123;\r\n", false, false},
        {"lower-case start", "#st,123;#", false, false},
        {"text before the start", " #ST,123;#", false, false},
        {"empty", "", false, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(IsDeviceRecord(row.text), row.device) << row.proves;
        EXPECT_EQ(IsIgnoredRecord(row.text), row.ignored) << row.proves;
    }
}

TEST(RecordRulesTest, TextEndsAtFirstZeroByte) {
    const auto bytes = Bytes(std::string("#ST,123;\0#", 10));
    EXPECT_EQ(DatagramText(bytes), "#ST,123;");
    EXPECT_FALSE(IsDeviceRecord(DatagramText(bytes)));
    EXPECT_EQ(DatagramText(Bytes(std::string("\0#ST#", 5))), "");
}

TEST(RecordRulesTest, FullDatagramWithoutZeroIsWholeText) {
    std::string text(4096, 'x');
    text.replace(0, 3, "#ST");
    text.back() = '#';
    const auto bytes = Bytes(text);
    EXPECT_EQ(DatagramText(bytes).size(), 4096u);
    EXPECT_TRUE(IsDeviceRecord(DatagramText(bytes)));
}

struct CodeRow {
    const char* proves;
    std::string text;
    std::string field;
    bool valid;
};

TEST(RecordRulesTest, CodeField) {
    const std::vector<CodeRow> rows = {
        {"three digits", "#ST123,456;STA:1;#", "456", true},
        {"no separators", "#ST#", "", false},
        {"semicolon before comma", "#ST;,123#", "", false},
        {"no semicolon", "#ST,12", "", false},
        {"no comma counts from the start", "123;#", "123", true},
        {"letter", "#STX,12a;#", "12a", false},
        {"two digits", "#ST,12;#", "12", false},
        {"four digits", "#ST,1234;#", "1234", false},
        {"blank", "#ST, 12;#", " 12", false},
        {"sign", "#ST,+12;#", "+12", false},
        {"second comma kept", "#ST,123,4;#", "123,4", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CodeField(row.text), row.field) << row.proves;
        EXPECT_EQ(IsValidCodeField(CodeField(row.text)), row.valid) << row.proves;
    }
}

TEST(RecordRulesTest, ThreeDigitsLooksAtFirstThreeOnly) {
    EXPECT_TRUE(IsThreeDigits("123abc"));
    EXPECT_FALSE(IsThreeDigits("12"));
    EXPECT_FALSE(
        IsThreeDigits("1\xB2"
                      "3"));  // a superscript two is no digit
}

struct TrimRow {
    const char* proves;
    std::string text;
    std::string trimmed;
};

TEST(RecordRulesTest, TrimFieldValues) {
    const std::vector<TrimRow> rows = {
        {"every ST field", "#ST123,456;STA:12.5,N;STB:7,8,9;#", "#ST123,456;STA:12.5;STB:7;#"},
        {"field after the code", "#ST,123;ID:4,5;#", "#ST,123;ID:4;#"},
        {"no comma in value", "#ST,123;STA:1;#", "#ST,123;STA:1;#"},
        {"missing semicolon", "#ST,123;STA:1;STB:2,3#", "#ST,123;STA:1;STB:2,3#"},
        {"no colon cuts from the start", "#ST,123;STA1,2;#", "#ST;STA1,2;#"},
        {"no ST at all", "#XY,1;A:2,3;#", "#XY,1;A:2,3;#"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TrimFieldValues(row.text), row.trimmed) << row.proves;
    }
}

TEST(HexDumpTest, RendersPairsAndLineBreaks) {
    EXPECT_EQ(HexDump(Bytes("\x23\x53\x54\x01\x02")), "23 53 54 01 02 ");
    EXPECT_EQ(HexDump(Bytes(std::string("\xAB\0", 2))), "AB 00 ");
    EXPECT_EQ(HexDump({}), "");

    const std::string seventeen = "0123456789abcdefg";
    EXPECT_EQ(HexDump(Bytes(seventeen)), "30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 \r\n67 ");
    const std::vector<std::pair<std::size_t, std::size_t>> lengths = {
        {16, 50}, {50, 156}, {51, 159}};
    for (const auto& [count, length] : lengths) {
        EXPECT_EQ(HexDump(std::vector<std::uint8_t>(count)).size(), length) << count;
    }
}

}  // namespace
}  // namespace tarnwick
