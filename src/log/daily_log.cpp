#include "log/daily_log.h"

#include <optional>
#include <utility>

#include "log/log_entries.h"
#include "log/year_folder.h"

namespace tarnwick {

namespace {

constexpr std::size_t kMonthDayLength = 4;

// Where the four month-and-day digits before the extension stand, when they lie in the file
// name: the folder is never touched.
std::optional<std::size_t> MonthDayPosition(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < kMonthDayLength) {
        return std::nullopt;
    }
    const std::size_t start = dot - kMonthDayLength;
    const std::size_t slash = path.rfind('/', dot);
    if (slash != std::string::npos && slash >= start) {
        return std::nullopt;
    }
    return start;
}

// Entries stamped within one second share their header and their file's day.
bool SameSecond(const LocalTime& a, const LocalTime& b) {
    if (!a || !b) {
        return a.has_value() == b.has_value();
    }
    return a->tm_sec == b->tm_sec && a->tm_min == b->tm_min && a->tm_hour == b->tm_hour &&
           a->tm_mday == b->tm_mday && a->tm_mon == b->tm_mon && a->tm_year == b->tm_year;
}

}  // namespace

DailyLog::DailyLog(std::string logFile, LocalClock clock, AppendOptions options)
    : m_strLogFile(std::move(logFile)), m_clock(std::move(clock)), m_options(std::move(options)) {}

std::vector<LogWriteResult> DailyLog::AppendAll(std::span<const std::string_view> texts) {
    std::vector<LogWriteResult> results;
    m_pending.clear();
    m_stamps.clear();
    std::size_t pendingEntries = 0;
    std::optional<LocalTime> headerTime;  // what m_header was made for, in this batch
    for (const std::string_view text : texts) {
        const LocalTime now = m_clock();  // one reading: the file's day and the header agree
        if (!headerTime || !SameSecond(*headerTime, now)) {
            if (RollLogFileName(now) && pendingEntries > 0) {
                // Midnight inside the batch: what came before it goes to the day before.
                std::swap(m_previousDay, m_strLogFile);
                Flush(results, std::exchange(pendingEntries, 0));
                std::swap(m_previousDay, m_strLogFile);
            }
            m_header.clear();
            AppendEntryHeader(m_header, now);
            headerTime = now;
        }
        AppendEntry(m_pending, m_header, text);
        m_stamps.push_back(*headerTime);
        ++pendingEntries;
    }
    if (pendingEntries > 0) {
        Flush(results, pendingEntries);
    }
    return results;
}

LogWriteResult DailyLog::Append(std::string_view text) {
    return AppendAll(std::span(&text, 1)).front();
}

void DailyLog::Flush(std::vector<LogWriteResult>& results, std::size_t entries) {
    SetAsideEarlierYearOnce();
    results.push_back({m_strLogFile, AppendWhole(m_strLogFile, m_pending, m_options), entries});
    m_pending.clear();
}

// Once a file: the pending entries' year is what the file's must not be earlier than. A lock
// not granted is looked at again with the next entries.
void DailyLog::SetAsideEarlierYearOnce() {
    if (m_strLogFile == m_yearChecked) {
        return;
    }
    const auto year = HeaderYear(m_pending, kDayLogFamily.yearAfter);
    if (year &&
        SetAsideEarlierYear(m_strLogFile, *year, m_options.keepWaiting, kDayLogFamily.yearAfter)
                .error == kLockNotGranted) {
        return;
    }
    m_yearChecked = m_strLogFile;
}

// The name follows the day of handling, not whether yesterday's file still exists: the first
// record after midnight must start the new day's file. True when the name moved; the name it
// had is kept in m_previousDay.
bool DailyLog::RollLogFileName(const LocalTime& now) {
    const auto start = MonthDayPosition(m_strLogFile);
    if (!start) {
        return false;
    }
    const std::string monthDay = MonthDayText(now);
    if (m_strLogFile.compare(*start, kMonthDayLength, monthDay) == 0) {
        return false;
    }
    m_previousDay = m_strLogFile;
    m_strLogFile.replace(*start, kMonthDayLength, monthDay);
    return true;
}

}  // namespace tarnwick
