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
};

TEST(HexTextTest, ConvertsUntilFirstMisfit) {
    const std::vector<HexRow> rows = {
        {"empty", "", {}},
        {"blanks only", "   ", {}},
        {"spaced pairs", "41 42 43", {0x41, 0x42, 0x43}},
        {"packed pairs", "414243", {0x41, 0x42, 0x43}},
        {"extra blanks", "  41   42 ", {0x41, 0x42}},
        {"either case", "aB Cd", {0xAB, 0xCD}},
        {"zero byte counts", "FF 00 7f", {0xFF, 0x00, 0x7F}},
        {"lone final digit", "41 4", {0x41}},
        {"lone digit then blank", "41 4 ", {0x41}},
        {"blank inside a pair", "4 1", {}},
        {"bad first digit", "41 G2 43", {0x41}},
        {"bad second digit", "41 2G 43", {0x41}},
        {"comma", "41,42", {0x41}},
        {"tab is no blank", "41\t42", {0x41}},
        {"prefix", "0x41", {}},
        {"line break", "41\r\n42", {0x41}},
        {"high byte",
         "41 \xB4"
         "1 42",
         {0x41}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(HexTextToBytes(row.text), row.bytes) << row.proves;
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
