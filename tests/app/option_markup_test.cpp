#include "app/option_markup.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace tarnwick {
namespace {

struct MarkupRow {
    const char* proves;
    std::string_view marked;
    std::string_view plain;
    std::string_view roff;
};

TEST(OptionMarkupTest, ShowsTheMarksPlainOrAsFontsAndEscapesWhatRoffWouldRead) {
    const std::vector<MarkupRow> rows = {
        {"literal and placeholder", "`--port` *N*", "--port N", "\\fB\\-\\-port\\fR \\fIN\\fR"},
        {"an asterisk in a literal is the text's", "`a*b`", "a*b", "\\fBa*b\\fR"},
        {"a backslash is no escape", "\\r", "\\r", "\\er"},
        {"a leading dot is no request", ".5 s", ".5 s", "\\&.5 s"},
        {"a leading quote is no request", "'x'", "'x'", "\\&'x'"},
        {"a line break stays in the line", "a\n.b", "a\n.b", "a .b"},
    };
    for (const MarkupRow& row : rows) {
        EXPECT_EQ(PlainText(row.marked), row.plain) << row.proves;
        EXPECT_EQ(RoffText(row.marked), row.roff) << row.proves;
    }
}

}  // namespace
}  // namespace tarnwick
