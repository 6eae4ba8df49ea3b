#include "log/time_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/daily_log.h"
#include "log/log_entries.h"
#include "support/calendar.h"

namespace tarnwick {
namespace {

const std::string kDashes(40, '-');

struct TextRow {
    const char* proves;
    LocalTime time;
    std::string header;
    std::string monthDay;
    std::string column;
    std::string clock;
};

TEST(TimeText, FieldsArePaddedAndTwentyFourHour) {
    const std::vector<TextRow> rows = {
        {"afternoon is 24-hour", test::TmOf(2026, 3, 7, 14, 5, 9),
         "-->2026-03-07 14:05:09" + kDashes, "0307", "  14:05:09", "03/07/2026 14:05:09"},
        {"single digits are zero-padded", test::TmOf(2026, 1, 2, 3, 4, 5),
         "-->2026-01-02 03:04:05" + kDashes, "0102", "  03:04:05", "01/02/2026 03:04:05"},
        {"midnight and December", test::TmOf(2025, 12, 31, 0, 0, 0),
         "-->2025-12-31 00:00:00" + kDashes, "1231", "  00:00:00", "12/31/2025 00:00:00"},
        {"last second of the day", test::TmOf(2026, 10, 10, 23, 59, 59),
         "-->2026-10-10 23:59:59" + kDashes, "1010", "  23:59:59", "10/10/2026 23:59:59"},
        {"no time", std::nullopt, "", "0000", "", ""},
    };
    for (const TextRow& row : rows) {
        SCOPED_TRACE(row.proves);
        EXPECT_EQ(LogHeaderText(row.time), row.header);
        EXPECT_EQ(MonthDayText(row.time), row.monthDay);
        EXPECT_EQ(TimeColumnText(row.time), row.column);
        EXPECT_EQ(ClockText(row.time), row.clock);
        EXPECT_EQ(LogFileName(row.time), "Data_logs_" + row.monthDay + ".txt");
    }
}

}  // namespace
}  // namespace tarnwick
