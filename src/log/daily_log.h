#pragma once

// The daily log files: "Data_logs_MMDD.txt" in the log folder, one entry per record (its format
// is log_entries.h's). The entries of a batch that fall on one day go to their file in one
// append (see append_file.h); each entry is stamped with its own time of handling and goes to
// the file of its own day. A file holds one year's entries: see year_folder.h.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "log/append_file.h"
#include "log/day_files.h"
#include "log/time_text.h"

namespace tarnwick {

struct LogWriteResult {
    std::string path;         // the file the entries were meant for
    int error = 0;            // see AppendWhole; 0 when the entries were written
    std::size_t entries = 1;  // how many consecutive entries this append carried

    [[nodiscard]] bool ok() const { return error == 0; }
    [[nodiscard]] std::string Reason() const { return AppendErrorText(error); }
    bool operator==(const LogWriteResult&) const = default;
};

class DailyLog {
public:
    // logFile: the full path of the current log file (folder + LogFileName).
    DailyLog(std::string logFile, LocalClock clock, AppendOptions options = {});

    // Appends one entry per text, in order: one result per append, covering all texts.
    [[nodiscard]] std::vector<LogWriteResult> AppendAll(std::span<const std::string_view> texts);
    // One entry alone.
    [[nodiscard]] LogWriteResult Append(std::string_view text);
    // The time in each header of the last AppendAll, one per text, as written.
    [[nodiscard]] const std::vector<LocalTime>& Stamps() const { return m_stamps; }

    [[nodiscard]] const std::string& LogFile() const { return m_strLogFile; }
    void SetLogFile(std::string path) { m_strLogFile = std::move(path); }

private:
    bool RollLogFileName(const LocalTime& now);
    void Flush(std::vector<LogWriteResult>& results, std::size_t entries);
    // Before the first entries of a day go into its file: last year's file of that name moves
    // to its year's folder (year_folder.h).
    void SetAsideEarlierYearOnce();

    std::string m_strLogFile;
    LocalClock m_clock;
    AppendOptions m_options;
    std::string m_previousDay;
    std::string m_yearChecked;  // the file SetAsideEarlierYearOnce last looked at
    std::string m_pending;      // the entries for one file, reused so appending does not allocate
    std::string m_header;       // the latest entry's header line
    std::vector<LocalTime> m_stamps;
};

}  // namespace tarnwick
