#pragma once

// The daily log files by name, "Data_logs_MMDD.txt": the name of a day's file, and which file
// in the log folder comes after which. The one place that finds the files of the days.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_position.h"
#include "log/time_text.h"

namespace tarnwick {

// "Data_logs_" + MMDD + ".txt"
[[nodiscard]] std::string LogFileName(const LocalTime& t);

class DayFiles {
public:
    DayFiles(std::string folder, LocalClock clock);

    [[nodiscard]] std::string PathOf(const std::string& file) const;
    // The file of the first day after file's that has one, up to today; empty when there is
    // none. A name stands for the last such day up to today (it has no year); after a name that
    // stands for no day comes today's file.
    [[nodiscard]] std::string After(const std::string& file) const;
    // The file's size now; nothing when it is not there.
    [[nodiscard]] std::optional<std::uint64_t> SizeOf(const std::string& file) const;
    // Every day's file where the day files are kept, by path, in no order.
    [[nodiscard]] std::vector<std::string> Paths() const;
    // The file of the oldest day up to today that has one; empty when there is none.
    [[nodiscard]] std::string First() const;

private:
    std::string m_folder;
    LocalClock m_clock;
};

// Today's log file from its start: where a first forwarder begins.
[[nodiscard]] LogPosition StartOfToday(const LocalClock& clock);

// The start of the log file of the day logTime ("YYYY-MM-DD ...") falls on.
[[nodiscard]] LogPosition StartOfDay(std::string_view logTime);

}  // namespace tarnwick
