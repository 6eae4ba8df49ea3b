#pragma once

// The command journal's files by name, one a day beside the log's: "Commands_MMDD.txt". The one
// place that names them, so the log folder's keeping of old days can find them as it finds the
// log's.

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "log/time_text.h"

namespace tarnwick {

// "Commands_" + MMDD + ".txt"
[[nodiscard]] std::string CommandJournalName(const LocalTime& t);

// The names of the files of today and the days days before it, oldest first.
[[nodiscard]] std::vector<std::string> RecentJournalNames(const LocalTime& today, int days);
// The names of the files that hold every line of the last reach before now, oldest first.
[[nodiscard]] std::vector<std::string> JournalNamesWithin(std::time_t now,
                                                          std::chrono::seconds reach);

}  // namespace tarnwick
