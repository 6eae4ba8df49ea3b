#include "session/counters.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

TEST(CountersTest, OneTableGivesTheStopLineAndTheWindowsStrip) {
    CounterSnapshot c;
    c.received = 1'000'010;
    c.records = 1'000'000;
    c.resent = 5;
    c.hex = 1;
    c.droppedInvalidCode = 2;
    c.droppedTooLong = 7;
    c.replies = 999'999;
    c.logged = 1'000'000;
    c.notLogged = 1;
    c.notAnswered = 1;
    c.kernelDrops = 1'234;
    EXPECT_EQ(
        FormatCounters(c),
        "received 1000010, records 1000000, resent 5, hex 1, dropped 9 (invalid code 2, ignored 0, "
        "not records 0, empty 0, too long 7), replies 999999, logged 1000000, not logged 1, "
        "not answered: not logged 1, kernel drops 1234");
    EXPECT_EQ(FormatCounters(c, CounterForm::Brief),
              "received 1,000,010, records 1,000,000, resent 5, dropped 9, replies 999,999, "
              "logged 1,000,000, not logged 1, not answered: not logged 1, kernel drops 1,234");
}

TEST(CountersTest, DigitsGroupByThousands) {
    const std::pair<std::uint64_t, const char*> rows[] = {
        {0, "0"},
        {999, "999"},
        {1'000, "1,000"},
        {123'456'789, "123,456,789"},
        {UINT64_MAX, "18,446,744,073,709,551,615"},
    };
    for (const auto& [value, text] : rows) {
        EXPECT_EQ(GroupedDigits(value), text);
    }
}

}  // namespace
}  // namespace tarnwick
