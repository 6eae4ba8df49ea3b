#include "metrics/metrics_page.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnwick {
namespace {

// Prometheus buckets count everything up to their bound, so each holds the ones before it.
TEST(MetricsPageTest, TheHistogramsBucketsAddUpAndItsSumIsExactSeconds) {
    MetricsFigures figures;
    figures.logWrite.buckets.front() = 1;  // up to 0.0001 s
    figures.logWrite.buckets[3] = 2;       // up to 0.001 s
    figures.logWrite.buckets.back() = 1;   // beyond the last bound
    figures.logWrite.sumNanoseconds = 31'000'000'005;
    const std::string page = MetricsPage(figures);
    for (const char* line : {
             "tarnwick_log_write_seconds_bucket{le=\"0.0001\"} 1\n",
             "tarnwick_log_write_seconds_bucket{le=\"0.0005\"} 1\n",
             "tarnwick_log_write_seconds_bucket{le=\"0.001\"} 3\n",
             "tarnwick_log_write_seconds_bucket{le=\"30\"} 3\n",
             "tarnwick_log_write_seconds_bucket{le=\"+Inf\"} 4\n",
             "tarnwick_log_write_seconds_sum 31.000000005\n",
             "tarnwick_log_write_seconds_count 4\n",
         }) {
        EXPECT_NE(page.find(line), std::string::npos) << line << page;
    }
}

}  // namespace
}  // namespace tarnwick
