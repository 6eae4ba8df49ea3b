#pragma once

// The command journal's files by name, one a day beside the log's: "Commands_MMDD.txt". The one
// place that names them, so the log folder's keeping of old days can find them as it finds the
// log's: a file of an earlier year goes to its year folder ("2025/Commands_1208.txt"), and old
// ones are compressed and deleted by the log's rules, except those a start reads.

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "log/day_files.h"
#include "log/time_text.h"

namespace tarnwick {

// Its lines begin with their time, "2025-12-08 10:00:00".
inline constexpr FileFamily kJournalFamily{"Commands_", ".txt", ""};

// "Commands_" + MMDD + ".txt"
[[nodiscard]] std::string CommandJournalName(const LocalTime& t);

// The names of the files of today and the days days before it, oldest first.
[[nodiscard]] std::vector<std::string> RecentJournalNames(const LocalTime& today, int days);
// How many days before today's file the files of JournalNamesWithin(now, reach) go back.
[[nodiscard]] int JournalDaysWithin(std::chrono::seconds reach);
// The names of the files that hold every line of the last reach before now, oldest first.
[[nodiscard]] std::vector<std::string> JournalNamesWithin(std::time_t now,
                                                          std::chrono::seconds reach);

}  // namespace tarnwick
