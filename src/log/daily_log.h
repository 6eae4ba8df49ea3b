#pragma once

// The daily log files: "Data_logs_MMDD.txt" in the log folder, one entry per record
// ("-->YYYY-MM-DD HH:MM:SS" + 40 '-', CR LF, the record, CR LF), each written with one write
// under an exclusive advisory lock, the file opened and closed for every record.

#include <string>
#include <string_view>

#include "log/time_text.h"

namespace tarnwick {

struct LogWriteResult {
    std::string path;  // the file the entry was meant for
    int error = 0;     // errno of the failed step; 0 when the entry was written

    [[nodiscard]] bool ok() const { return error == 0; }
    [[nodiscard]] std::string Reason() const;  // strerror text of error
    bool operator==(const LogWriteResult&) const = default;
};

// "Data_logs_" + MMDD + ".txt"
[[nodiscard]] std::string LogFileName(const LocalTime& t);

class DailyLog {
public:
    // logFile: the full path of the current log file (folder + LogFileName).
    DailyLog(std::string logFile, LocalClock clock);

    // Appends one entry for text, after moving the file name to the day of handling.
    // A missing folder is created with its parents.
    [[nodiscard]] LogWriteResult Append(std::string_view text);

    [[nodiscard]] const std::string& LogFile() const { return m_strLogFile; }
    void SetLogFile(std::string path) { m_strLogFile = std::move(path); }

private:
    void RollLogFileName(const LocalTime& now);

    std::string m_strLogFile;
    LocalClock m_clock;
    std::string m_entry;  // reused for every entry, so appending does not allocate
};

}  // namespace tarnwick
