#include "app/duration_text.h"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>
#include <vector>

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

struct DurationRow {
    std::string_view text;
    std::optional<std::chrono::seconds> duration;
};

TEST(DurationTextTest, TakesAWholeNumberAndAUnitAndNothingElse) {
    const std::vector<DurationRow> rows = {
        {"90s", 90s},
        {"10min", 10min},
        {"24h", 24h},
        {"2d", 48h},
        {"007s", 7s},
        {"3650d", kLongestDuration},
        {"3651d", std::nullopt},
        {"87601h", std::nullopt},
        {"99999999999999999999s", std::nullopt},
        {"0s", std::nullopt},
        {"", std::nullopt},
        {"s", std::nullopt},
        {"10", std::nullopt},
        {"10m", std::nullopt},
        {"10mins", std::nullopt},
        {"1.5h", std::nullopt},
        {"-5s", std::nullopt},
        {"+5s", std::nullopt},
        {" 5s", std::nullopt},
        {"5 s", std::nullopt},
        {"5S", std::nullopt},
        {"1h30min", std::nullopt},
    };
    for (const DurationRow& row : rows) {
        EXPECT_EQ(ParseDurationText(row.text), row.duration) << row.text;
    }
}

TEST(DurationTextTest, WritesTheLargestUnitThatDividesTheDuration) {
    const std::vector<std::pair<std::chrono::seconds, std::string_view>> rows = {
        {90s, "90s"}, {10min, "10min"}, {24h, "1d"}, {36h, "36h"}, {48h, "2d"}, {3601s, "3601s"},
    };
    for (const auto& [duration, text] : rows) {
        EXPECT_EQ(DurationText(duration), text) << text;
        EXPECT_EQ(ParseDurationText(DurationText(duration)), duration) << text;
    }
}

}  // namespace
}  // namespace tarnwick
