#include "record/control_escapes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

struct EscapeRow {
    const char* proves;
    std::string bytes;
    std::string shown;
};

TEST(ControlEscapesTest, EveryControlByteIsSeenAndNothingElseChanges) {
    const std::vector<EscapeRow> rows = {
        {"a forged log entry stays on its line", "1;\r\n-->2020-01-01 00:00:00\r\n6.6.6.6 (1):#",
         "1;\\r\\n-->2020-01-01 00:00:00\\r\\n6.6.6.6 (1):#"},
        {"a bare line feed", "A\nB", "A\\nB"},
        {"a tab", "A\tB", "A\\tB"},
        {"a terminal's escape sequence", "\x1B[2J\x1B]0;x\a", "\\x1B[2J\\x1B]0;x\\x07"},
        {"the lowest and highest control bytes", std::string("\0\x1F", 2), "\\x00\\x1F"},
        {"delete", "\x7F", "\\x7F"},
        {"printable bytes, the backslash included", " ~\\x1B#ST", " ~\\x1B#ST"},
        {"high bytes are bytes", "\x80\xC3\xA9\xFF", "\x80\xC3\xA9\xFF"},
        {"empty", "", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(EscapeControlBytes(row.bytes), row.shown) << row.proves;
    }
}

TEST(ControlEscapesTest, ReversibleEscapesGiveTheBytesBack) {
    const std::vector<EscapeRow> rows = {
        {"a backslash is doubled, so typed escapes stay typed", "\\x1B\\", "\\\\x1B\\\\"},
        {"control bytes as the log shows them", "A\tB\r\x1B", "A\\tB\\r\\x1B"},
        {"plain text", "#517RESET", "#517RESET"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(EscapeReversibly(row.bytes), row.shown) << row.proves;
        EXPECT_EQ(UnescapeControlBytes(row.shown), row.bytes) << row.proves;
    }
    for (const char* torn : {"A\\", "\\x1", "\\q", "A\tB"}) {
        EXPECT_EQ(UnescapeControlBytes(torn), std::nullopt) << torn;
    }
}

}  // namespace
}  // namespace tarnwick
