#include "net/port_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

struct PortRow {
    const char* proves;
    std::string text;
    std::optional<std::uint16_t> port;
};

TEST(PortTextTest, ReadsLikeAtoiKeepingTheLow16Bits) {
    const std::vector<PortRow> rows = {
        {"empty text is no port", "", std::nullopt},
        {"zero lets the system choose", "0", 0},
        {"plain number", "5000", 5000},
        {"leading blanks skipped", "  5000", 5000},
        {"plus sign", "+5000", 5000},
        {"digits up to the first other character", "5000abc", 5000},
        {"no digits reads as zero", "abc", 0},
        {"blank only reads as zero", " ", 0},
        {"wraps at 65536", "70000", 4464},
        {"negative wraps", "-1", 65535},
        {"minus zero", "-0", 0},
        {"30 digits do not overflow", "123456789012345678901234567890", 0x0AD2},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ParsePortText(row.text), row.port) << row.proves;
    }
}

}  // namespace
}  // namespace tarnwick
