#pragma once

// The display header's status text: why the log is not being written, if it is not, and the
// engine's counters, so that nothing is lost uncounted.

#include <string>
#include <string_view>

#include "net/engine_counters.h"

namespace tarnwick {

// "received R, records N, dropped D, replies P, logged L, kernel drops K", after the log
// failure text and "; " while the log is failing.
[[nodiscard]] std::string StatusLineText(std::string_view logFailure, const CounterSnapshot& c);

}  // namespace tarnwick
