#include "session/write_latency.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

// A time on a bound belongs to that bound's bucket; past the last, to the one beyond.
TEST(WriteLatencyTest, EachTimeLandsInTheFirstBucketThatTakesIt) {
    const struct {
        std::chrono::nanoseconds took;
        std::size_t bucket;
    } rows[] = {
        {-5ns, 0},  // a clock read before the arrival's: no time at all
        {0ns, 0},
        {100us, 0},
        {100us + 1ns, 1},
        {1ms, 3},
        {30s, WriteLatency::kBounds.size() - 1},
        {30s + 1ns, WriteLatency::kBounds.size()},
    };
    for (const auto& row : rows) {
        WriteLatency latency;
        latency.Add(row.took);
        WriteLatency::Snapshot expected;
        expected.buckets[row.bucket] = 1;
        expected.sumNanoseconds = static_cast<std::uint64_t>(std::max(row.took, 0ns).count());
        EXPECT_EQ(latency.Read(), expected) << row.took.count() << " ns";
    }
}

}  // namespace
}  // namespace tarnwick
