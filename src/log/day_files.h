#pragma once

// The daily log files by name, "Data_logs_MMDD.txt": the name of a day's file, and which file
// in the log folder comes after which. The one place that finds the files of the days.
//
// A name without a year stands for the last such day up to today. A file of an earlier year
// stands in a folder of its year: "2025/Data_logs_1208.txt", or "2025/Data_logs_1208.txt.gz"
// once compressed. Other families of files that roll daily in the folder share these rules,
// each by its own name pattern (FileFamily).

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_position.h"
#include "log/time_text.h"

namespace tarnwick {

using Day = std::chrono::year_month_day;

// A family of files that roll daily: prefix + MMDD + end ("Data_logs_" "0307" ".txt").
struct FileFamily {
    std::string_view prefix;
    std::string_view end;
    // What a file's first line has before the year of its entries: "-->" in "-->2025-12-08".
    std::string_view yearAfter;
};

inline constexpr FileFamily kDayLogFamily{"Data_logs_", ".txt", "-->"};
inline constexpr std::string_view kCompressedEnd = ".gz";

// "Data_logs_" + MMDD + ".txt"
[[nodiscard]] std::string LogFileName(const LocalTime& t);

// One file of a family as the folder holds it, by its name within the folder.
struct DayFile {
    std::string name;  // "Data_logs_0307.txt", "2025/Data_logs_1208.txt", "...txt.gz"
    Day day;
    bool compressed = false;
    bool operator==(const DayFile&) const = default;
};

[[nodiscard]] std::optional<Day> DayOf(const LocalTime& t);
// The day a name within the folder stands for; nothing for a name of no day of the family.
[[nodiscard]] std::optional<Day> DayOfName(std::string_view name, const FileFamily& family,
                                           Day today);
// The name the file of day has within the folder: in its year's folder unless it is the last
// such day up to today.
[[nodiscard]] std::string NameOfDay(Day day, const FileFamily& family, Day today);
// "2025/Data_logs_1208.txt": a plain day file in its year folder.
[[nodiscard]] bool IsYearFolderFile(std::string_view name);
// The year folder a file of an earlier year goes to: "2025".
[[nodiscard]] std::string YearFolderName(int year);

// Every file of the family in folder and its year folders, up to today, oldest day first
// (a day's plain file before its compressed one). withYearsFrom: year folders before it are
// not read.
[[nodiscard]] std::vector<DayFile> ListDayFiles(const std::string& folder, const FileFamily& family,
                                                Day today, int withYearsFrom = 0);

class DayFiles {
public:
    DayFiles(std::string folder, LocalClock clock);

    [[nodiscard]] std::string PathOf(const std::string& file) const;
    // The plain (uncompressed) file of the first day after file's that has one, up to today,
    // in the folder or a year folder; empty when there is none. After a name that stands for
    // no day comes today's file.
    [[nodiscard]] std::string After(const std::string& file) const;
    // The file's size now; nothing when it is not there.
    [[nodiscard]] std::optional<std::uint64_t> SizeOf(const std::string& file) const;
    // Every day's plain file, in the folder and its year folders, by path, oldest first.
    [[nodiscard]] std::vector<std::string> Paths() const;
    // The plain file of the oldest day up to today that has one, year folders too; empty when
    // there is none.
    [[nodiscard]] std::string First() const;

private:
    // The plain files of the days up to today, oldest first, year folders too.
    [[nodiscard]] std::vector<DayFile> Plain() const;

    std::string m_folder;
    LocalClock m_clock;
};

// Today's log file from its start: where a first forwarder begins.
[[nodiscard]] LogPosition StartOfToday(const LocalClock& clock);

// The start of the log file of the day logTime ("YYYY-MM-DD ...") falls on: its year folder's
// when that day is more than a year before today.
[[nodiscard]] LogPosition StartOfDay(std::string_view logTime,
                                     const LocalClock& clock = SystemLocalTime);

}  // namespace tarnwick
