#include "command/hex_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

struct HexRow {
    const char* proves;
    std::string text;
    std::vector<std::uint8_t> bytes;
    std::size_t stoppedAt;  // the text's size: read to the end
};

TEST(HexTextTest, ConvertsUntilFirstMisfitAndSaysWhereItIs) {
    const std::vector<HexRow> rows = {
        {"empty", "", {}, 0},
        {"blanks only", "   ", {}, 3},
        {"spaced pairs", "41 42 43", {0x41, 0x42, 0x43}, 8},
        {"packed pairs", "414243", {0x41, 0x42, 0x43}, 6},
        {"extra blanks", "  41   42 ", {0x41, 0x42}, 10},
        {"either case", "aB Cd", {0xAB, 0xCD}, 5},
        {"zero byte counts", "FF 00 7f", {0xFF, 0x00, 0x7F}, 8},
        {"lone final digit", "41 4", {0x41}, 3},
        {"lone digit then blank", "41 4 ", {0x41}, 3},
        {"blank inside a pair", "4 1", {}, 0},
        {"bad first digit", "41 G2 43", {0x41}, 3},
        {"bad second digit", "41 2G 43", {0x41}, 3},
        {"comma", "41,42", {0x41}, 2},
        {"tab is no blank", "41\t42", {0x41}, 2},
        {"prefix", "0x41", {}, 0},
        {"line break", "41\r\n42", {0x41}, 2},
        {"high byte",
         "41 \xB4"
         "1 42",
         {0x41},
         3},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ConvertHexText(row.text), (HexConversion{row.bytes, row.stoppedAt}))
            << row.proves;
    }
}

TEST(HexTextTest, HasNoBoundOfItsOwn) {
    std::string text;
    for (int i = 0; i < 600; ++i) {
        text += "5A ";
    }
    EXPECT_EQ(HexTextToBytes(text), std::vector<std::uint8_t>(600, 0x5A));
}

}  // namespace
}  // namespace tarnwick
