#include "metrics/metrics_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// Families whose figures may be missing: none is shown as zero.
TEST(MetricsPageTest, TheLogFoldersSpaceAndTheBrokersBacklogAreShownOnceKnown) {
    struct Row {
        void (*know)(MetricsFigures&);
        std::vector<std::string> lines;
    };
    for (const Row& row : {
             Row{[](MetricsFigures& f) {
                     f.logSpace = {.measured = true, .folderBytes = 5, .freeBytes = 7};
                 },
                 {"\ntarnwick_log_bytes 5\n", "\ntarnwick_log_free_bytes 7\n"}},
             Row{[](MetricsFigures& f) {
                     f.forwarding = BacklogFigures{12, 3};
                 },
                 {"\ntarnwick_forward_backlog_records 12\n",
                  "\ntarnwick_forward_backlog_seconds 3\n"}},
         }) {
        MetricsFigures figures;
        const std::string family = row.lines.front().substr(1, row.lines.front().rfind(' ') - 1);
        EXPECT_EQ(MetricsPage(figures).find(family), std::string::npos) << family;
        row.know(figures);
        const std::string page = MetricsPage(figures);
        for (const std::string& line : row.lines) {
            EXPECT_NE(page.find(line), std::string::npos) << line << page;
        }
    }
}

}  // namespace
}  // namespace tarnwick
