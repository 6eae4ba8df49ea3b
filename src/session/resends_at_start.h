#pragma once

// A start takes up the resend window where the last run left it: the newest records of the
// day log within the window, today's and, when the window reaches back past midnight, the
// day's before, go through it first, so a device's first resend after a restart counts as one.

#include <chrono>
#include <string>

#include "log/time_text.h"
#include "session/device_key.h"
#include "session/resend_window.h"

namespace tarnwick {

// logFile: the path of the day log (its folder holds the days' files); now: the log's clock at
// the start. At most ResendWindow::kInAll records are read, the newest, from today's and
// yesterday's files alone however far the window reaches.
void SeedResendWindow(ResendWindow& window, std::chrono::seconds reach, const DeviceKeyRule& key,
                      const std::string& logFile, const LocalTime& now);

}  // namespace tarnwick
