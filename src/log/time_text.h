#pragma once

// Every time text the centre shows or writes. The formats are spelled out field by field
// ("%H:%M:%S", never "%X"): the window's toolkit sets the process locale from the environment,
// and the texts must stay 24-hour and locale-free whatever it is.

#include <ctime>
#include <functional>
#include <optional>
#include <string>

namespace tarnwick {

// Local broken-down time; nullopt when the conversion failed.
using LocalTime = std::optional<std::tm>;

// Where "now" comes from, so tests can cross midnight without waiting.
using LocalClock = std::function<LocalTime()>;

[[nodiscard]] LocalTime LocalTimeOf(std::time_t t);
// LocalTimeOf(now), converted at most once a second per thread: it is asked for every record.
[[nodiscard]] LocalTime SystemLocalTime();

// "YYYY-MM-DD HH:MM:SS" appended to out, as the log's headers have it: the log composes every
// entry in one reused buffer.
void AppendDateTimeText(std::string& out, const std::tm& t);
// Month and day as "%02d%02d"; "0000" without a time.
[[nodiscard]] std::string MonthDayText(const LocalTime& t);
// Two blanks and "HH:MM:SS"; empty without a time.
[[nodiscard]] std::string TimeColumnText(const LocalTime& t);
// "MM/DD/YYYY HH:MM:SS"; empty without a time.
[[nodiscard]] std::string ClockText(const LocalTime& t);

}  // namespace tarnwick
