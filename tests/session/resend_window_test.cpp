#include "session/resend_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 31;
    t.tm_hour = 23;
    t.tm_min = 59;
    t.tm_sec = 59;
    EXPECT_EQ(LogSecondOf(t), LogSecondOf("2026-12-31 23:59:59"));
    EXPECT_EQ(*LogSecondOf("2027-01-01 00:00:00") - *LogSecondOf("2026-12-31 23:59:59"), 1);
    for (const char* text : {"2026-13-01 00:00:00", "2026-12-31 23:59", "2026-12-31T23:59:59",
                             "2026-02-30 00:00:00", "2026-12-31 2x:59:59"}) {
        EXPECT_EQ(LogSecondOf(text), std::nullopt) << text;
    }
}

}  // namespace
}  // namespace tarnwick
