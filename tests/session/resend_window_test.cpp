#include "session/resend_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/resends_at_start.h"
#include "support/calendar.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

struct Logged {
    std::string key;
    std::string text;
    std::int64_t at;  // seconds
    bool resent;
};

TEST(ResendWindowTest, ARecordEqualToOneOfItsDevicesWithinTheWindowIsAResend) {
    const struct {
        const char* name;
        std::chrono::seconds window;
        std::vector<Logged> records;
    } rows[] = {
        {"the same record twice from one device",
         10min,
         {{"4", "#001 12.5", 0, false}, {"4", "#001 12.5", 3, true}}},
        {"the same text from two devices",
         10min,
         {{"4", "#001 12.5", 0, false}, {"5", "#001 12.5", 1, false}}},
        {"out of order: another reading in between",
         10min,
         {{"4", "#001 A", 0, false}, {"4", "#001 B", 1, false}, {"4", "#001 A", 2, true}}},
        {"at the window's end, and beyond it",
         10min,
         {{"4", "#001 A", 0, false}, {"4", "#001 A", 600, true}, {"4", "#001 A", 1201, false}}},
        {"a clock stepped back still compares by the distance",
         10min,
         {{"4", "#001 A", 3600, false}, {"4", "#001 A", 3590, true}, {"4", "#001 A", 0, false}}},
        {"a window of 0 finds none", 0s, {{"4", "#001 A", 0, false}, {"4", "#001 A", 0, false}}},
    };
    for (const auto& row : rows) {
        ResendWindow window(row.window);
        for (const Logged& record : row.records) {
            EXPECT_EQ(window.Seen(record.key, record.text, record.at), record.resent)
                << row.name << ": " << record.key << " " << record.text << " at " << record.at;
        }
    }
}

std::string Entry(const std::string& time, const std::string& record) {
    return "-->" + time + std::string(40, '-') + "\r\n10.0.0.7 (4000):" + record + "\r\n";
}

// Five minutes after midnight, a window of ten reaches into yesterday's file, whose start is
// more than the first stretch read back from its end.
TEST(ResendWindowTest, AStartTakesUpTheNewestRecordsOfTheLogWithinTheWindow) {
    const test::TempFolder folder;
    std::string yesterday;
    for (int i = 0; i < 20'000; ++i) {
        yesterday += Entry("2026-12-07 23:40:00", "#ST;ID:4;OLD" + std::to_string(i) + "#");
    }
    test::WriteFile(folder.PathOf("Data_logs_1207.txt"),
                    yesterday + Entry("2026-12-07 23:54:59", "#ST;ID:4;A#") +
                        Entry("2026-12-07 23:58:00", "#ST;ID:4;B#"));
    test::WriteFile(
        folder.PathOf("Data_logs_1208.txt"),
        Entry("2026-12-08 00:01:00", "#ST;ID:4;C#") + Entry("2026-12-08 00:02:00", "#ST;ID:5;D#"));
    const std::tm now = test::TmOf(2026, 12, 8, 0, 5);
    ResendWindow window(10min);
    SeedResendWindow(window, 10min, *ParseDeviceKeyRule("field:ID"),
                     folder.PathOf("Data_logs_1208.txt"), now);
    EXPECT_EQ(window.Kept(), 3U) << "B, C and D; nothing logged before the window";
    const std::int64_t at = *LogSecondOf(now);
    EXPECT_TRUE(window.Seen("4", "#ST;ID:4;B#", at)) << "yesterday's, within it";
    EXPECT_TRUE(window.Seen("4", "#ST;ID:4;C#", at));
    EXPECT_FALSE(window.Seen("4", "#ST;ID:5;D#", at)) << "another device's";
}

// The forwarder's start: only what lies before its position is taken up, the entry that ends
// there whole.
TEST(ResendWindowTest, AStartWithinADayTakesUpOnlyTheRecordsBeforeIt) {
    const test::TempFolder folder;
    const std::string before =
        Entry("2026-12-08 10:00:00", "#ST;ID:4;A#") + Entry("2026-12-08 10:01:00", "#ST;ID:4;B#");
    test::WriteFile(folder.PathOf("Data_logs_1208.txt"),
                    before + Entry("2026-12-08 10:02:00", "#ST;ID:4;C#"));
    const Day day{std::chrono::year(2026) / 12 / 8};
    const std::tm at = test::TmOf(2026, 12, 8, 10, 2);
    const std::int64_t second = *LogSecondOf(at);
    ResendWindow window(10min);
    SeedResendWindow(window, 10min, *ParseDeviceKeyRule("field:ID"),
                     {.folder = folder.PathOf(""),
                      .day = day,
                      .today = day,
                      .end = before.size(),
                      .at = second});
    EXPECT_EQ(window.Kept(), 2U) << "A and B, not C after the position";
    EXPECT_TRUE(window.Seen("4", "#ST;ID:4;B#", second)) << "the entry that ends at the position";
    EXPECT_FALSE(window.Seen("4", "#ST;ID:4;C#", second));
}

// A flood of distinct texts from ever new devices keeps no more than the bound, and a device's
// own flood pushes out only its own oldest.
TEST(ResendWindowTest, KeepsBoundedTextsPerDeviceAndInAll) {
    ResendWindow window(10min);
    for (std::size_t i = 0; i < ResendWindow::kInAll + 1000; ++i) {
        window.Seen(std::to_string(i % 100'000), "#001 " + std::to_string(i), 0);
    }
    EXPECT_EQ(window.Kept(), ResendWindow::kInAll);

    ResendWindow one(10min);
    one.Seen("7", "#001 first", 0);
    one.Seen("8", "#001 other", 0);
    for (std::size_t i = 0; i < ResendWindow::kPerDevice; ++i) {
        one.Seen("7", "#001 " + std::to_string(i), 0);
    }
    EXPECT_FALSE(one.Seen("7", "#001 first", 0));
    EXPECT_TRUE(one.Seen("8", "#001 other", 0));
}

TEST(ResendWindowTest, TheHeadersTimeCountsAsTheWriterStampedIt) {
    EXPECT_EQ(LogSecondOf(test::TmOf(2026, 12, 31, 23, 59, 59)),
              LogSecondOf("2026-12-31 23:59:59"));
    EXPECT_EQ(*LogSecondOf("2027-01-01 00:00:00") - *LogSecondOf("2026-12-31 23:59:59"), 1);
    for (const char* text : {"2026-13-01 00:00:00", "2026-12-31 23:59", "2026-12-31T23:59:59",
                             "2026-02-30 00:00:00", "2026-12-31 2x:59:59"}) {
        EXPECT_EQ(LogSecondOf(text), std::nullopt) << text;
    }
}

}  // namespace
}  // namespace tarnwick
