#include "session/rate_history.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Sample {
    Clock::duration after;  // since the first sample
    std::uint64_t records;
    std::uint64_t dropped;
};

TEST(RateHistoryTest, EachWholeSecondGetsWhatWasCountedInIt) {
    const struct {
        const char* name;
        std::vector<Sample> samples;
        std::vector<RatePoint> points;
    } rows[] = {
        {"the first sample only starts counting", {{0s, 50, 5}}, {}},
        {"within a second: no point yet", {{0s, 0, 0}, {999ms, 7, 1}}, {}},
        {"one a second", {{0s, 0, 0}, {1s, 7, 1}, {2s, 10, 1}}, {{7, 1}, {3, 0}}},
        {"a late sample spreads its count, the remainder last",
         {{0s, 0, 0}, {3s, 10, 2}},
         {{3, 0}, {3, 0}, {4, 2}}},
        {"late wake-ups do not drift the seconds",
         {{0s, 0, 0}, {1500ms, 4, 0}, {2100ms, 6, 0}},
         {{4, 0}, {2, 0}}},
    };
    for (const auto& row : rows) {
        RateHistory history;
        const Clock::time_point start{1h};
        for (const Sample& sample : row.samples) {
            history.Sample(start + sample.after, sample.records, sample.dropped);
        }
        EXPECT_EQ(history.Points(), row.points) << row.name;
    }
}

// A sampler that stops for longer than the history keeps only the last ten minutes.
TEST(RateHistoryTest, KeepsTheLastTenMinutesOldestFirst) {
    RateHistory history;
    const Clock::time_point start{1h};
    history.Sample(start, 0, 0);
    for (std::uint64_t second = 1; second <= RateHistory::kSeconds + 5; ++second) {
        history.Sample(start + std::chrono::seconds(second), second * (second + 1) / 2, 0);
    }
    const std::vector<RatePoint> points = history.Points();
    ASSERT_EQ(points.size(), RateHistory::kSeconds);
    EXPECT_EQ(points.front().records, 6u);
    EXPECT_EQ(points.back().records, RateHistory::kSeconds + 5);

    const std::uint64_t total = (RateHistory::kSeconds + 5) * (RateHistory::kSeconds + 6) / 2;
    history.Sample(start + std::chrono::seconds(3 * RateHistory::kSeconds), total, 0);
    EXPECT_EQ(history.Points(), std::vector<RatePoint>(RateHistory::kSeconds));
}

}  // namespace
}  // namespace tarnwick
