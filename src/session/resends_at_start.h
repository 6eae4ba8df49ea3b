#pragma once

// A start takes up the resend window where the last run left it: the newest records of the
// day log within the window, today's and, when the window reaches back past midnight, the
// day's before, go through it first, so a device's first resend after a restart counts as one.

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>

#include "log/day_files.h"
#include "log/time_text.h"
#include "session/device_key.h"
#include "session/resend_window.h"

namespace tarnwick {

// logFile: the path of the day log (its folder holds the days' files); now: the log's clock at
// the start. At most ResendWindow::kInAll records are read, the newest, from today's and
// yesterday's files alone however far the window reaches.
void SeedResendWindow(ResendWindow& window, std::chrono::seconds reach, const DeviceKeyRule& key,
                      const std::string& logFile, const LocalTime& now);

// Where a window is taken up to: byte end of the file of day in folder, the records that went
// before it being judged as of the log second at.
struct SeedPoint {
    std::string folder;  // with its '/'
    Day day;
    Day today;  // by which the days' files are named
    std::uint64_t end = std::numeric_limits<std::uint64_t>::max();
    std::int64_t at = 0;
};

// The same up to point: its day's file before end, and the day's before when the window reaches
// back past that day's midnight.
void SeedResendWindow(ResendWindow& window, std::chrono::seconds reach, const DeviceKeyRule& key,
                      const SeedPoint& point);

}  // namespace tarnwick
