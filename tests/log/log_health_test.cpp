#include "log/log_health.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

struct Step {
    LogWriteResult result;
    std::optional<std::string> report;
};

const LogWriteResult kOk{"/logs/Data_logs_0307.txt", 0};
const LogWriteResult kFull{"/logs/Data_logs_0307.txt", ENOSPC};
const LogWriteResult kDenied{"/logs/Data_logs_0307.txt", EACCES};
const LogWriteResult kNextDay{"/logs/Data_logs_0308.txt", EACCES};

std::string NotWritten(const LogWriteResult& r) {
    return "Log not written: " + r.path + ": " + std::strerror(r.error);
}

TEST(LogHealth, ReportsOnlyChangesOfState) {
    const std::string again = "Log written again: " + kOk.path;
    const std::vector<std::pair<const char*, std::vector<Step>>> rows = {
        {"successes are silent", {{kOk, {}}, {kOk, {}}}},
        {"one miss is singular",
         {{kOk, {}}, {kFull, NotWritten(kFull)}, {kOk, again + " (1 record missed the log)"}}},
        {"repeats are counted, not reported",
         {{kFull, NotWritten(kFull)},
          {kFull, {}},
          {kFull, {}},
          {kOk, again + " (3 records missed the log)"}}},
        {"a new reason or path is reported, the count goes on",
         {{kFull, NotWritten(kFull)},
          {kDenied, NotWritten(kDenied)},
          {kNextDay, NotWritten(kNextDay)},
          {kOk, again + " (3 records missed the log)"}}},
        {"the count starts again after recovering",
         {{kFull, NotWritten(kFull)},
          {kFull, {}},
          {kOk, again + " (2 records missed the log)"},
          {kFull, NotWritten(kFull)},
          {kOk, again + " (1 record missed the log)"}}},
    };
    for (const auto& [proves, steps] : rows) {
        SCOPED_TRACE(proves);
        LogHealth health;
        for (const Step& step : steps) {
            EXPECT_EQ(health.Record(step.result), step.report);
            EXPECT_EQ(health.Failing(), !step.result.ok());
            EXPECT_EQ(health.StatusText(), step.result.ok() ? "" : NotWritten(step.result));
        }
    }
}

}  // namespace
}  // namespace tarnwick
