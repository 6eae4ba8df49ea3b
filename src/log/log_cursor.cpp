#include "log/log_cursor.h"

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <optional>

#include "log/daily_log.h"
#include "log/log_tail.h"

namespace tarnwick {
namespace {

// Far more than a batch of entries needs, little enough to hold the log's lock briefly.
constexpr std::size_t kReadLimit = 256 * 1024;
constexpr std::string_view kNamePrefix = "Data_logs_";

std::optional<std::chrono::year_month_day> DayOf(const std::tm& t) {
    const std::chrono::year_month_day day{std::chrono::year(t.tm_year + 1900),
                                          std::chrono::month(static_cast<unsigned>(t.tm_mon + 1)),
                                          std::chrono::day(static_cast<unsigned>(t.tm_mday))};
    return day.ok() ? std::optional(day) : std::nullopt;
}

// The day a file's name stands for: the last such day up to today (the name has no year).
std::optional<std::chrono::year_month_day> DayOfFile(std::string_view file,
                                                     std::chrono::year_month_day today) {
    if (!file.starts_with(kNamePrefix) || file.size() < kNamePrefix.size() + 4) {
        return std::nullopt;
    }
    const auto digits = file.substr(kNamePrefix.size(), 4);
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    const auto month = static_cast<unsigned>((digits[0] - '0') * 10 + (digits[1] - '0'));
    const auto mday = static_cast<unsigned>((digits[2] - '0') * 10 + (digits[3] - '0'));
    std::chrono::year_month_day day{today.year(), std::chrono::month(month),
                                    std::chrono::day(mday)};
    if (std::chrono::sys_days(day) > std::chrono::sys_days(today)) {
        day = {today.year() - std::chrono::years(1), day.month(), day.day()};
    }
    return day.ok() ? std::optional(day) : std::nullopt;
}

std::string FileOfDay(std::chrono::year_month_day day) {
    std::tm t{};
    t.tm_mon = static_cast<int>(static_cast<unsigned>(day.month())) - 1;
    t.tm_mday = static_cast<int>(static_cast<unsigned>(day.day()));
    return LogFileName(t);
}

bool Exists(const std::string& path, std::uint64_t* size = nullptr) {
    struct stat file {};
    if (stat(path.c_str(), &file) != 0) {
        return false;
    }
    if (size != nullptr) {
        *size = static_cast<std::uint64_t>(file.st_size);
    }
    return true;
}

}  // namespace

LogPosition StartOfToday(const LocalClock& clock) {
    return {LogFileName(clock()), 0};
}

LogPosition StartOfDay(std::string_view logTime) {
    return {std::string(kNamePrefix) + std::string(logTime.substr(5, 2)) +
                std::string(logTime.substr(8, 2)) + ".txt",
            0};
}

LogCursor::LogCursor(std::string folder, LogPosition start, Reporter report, LocalClock clock)
    : m_folder(std::move(folder)),
      m_position(std::move(start)),
      m_report(std::move(report)),
      m_clock(std::move(clock)) {}

std::string LogCursor::PathOf(const std::string& file) const {
    return m_folder + "/" + file;
}

CursorBatch LogCursor::Next(std::size_t most) {
    const std::string path = PathOf(m_position.file);
    const LogTail tail = ReadLogTail(path, m_position.offset, kReadLimit);
    if (tail.status == LogTail::Status::Missing) {
        MoveOn("is gone");
        return {};
    }
    if (tail.status == LogTail::Status::Failed && tail.error != m_failed) {
        m_report("forwarding: cannot read " + path + ": " +
                 (tail.error < 0 ? std::string("not a regular file") : std::strerror(tail.error)));
    }
    m_failed = tail.status == LogTail::Status::Failed ? tail.error : 0;
    if (tail.status != LogTail::Status::Read) {
        return {};
    }
    if (tail.size < m_position.offset) {
        if (!MoveOn("was cut below the forwarded position")) {
            m_position.offset = 0;  // still the file being written: what it has now is new
        }
        return {};
    }
    const bool atEnd = tail.AtEnd(m_position.offset);
    ParsedEntries parsed = ParseLogEntries(tail.bytes, m_position.offset, atEnd);
    if (parsed.skipped > 0) {
        m_report("forwarding: passed over what is no whole entry in " + path);
    }
    CursorBatch batch{m_position.file, std::move(parsed.entries)};
    if (batch.entries.size() > most) {
        batch.entries.resize(most);
        m_position.offset = batch.entries.back().end;
    } else {
        m_position.offset += parsed.used;
        if (batch.entries.empty() && atEnd && parsed.used == tail.bytes.size()) {
            AtEnd();
        }
    }
    return batch;
}

// Nothing more in the file: another day's file means this one is finished, unless the log
// stage appended to it between that read and now.
void LogCursor::AtEnd() {
    const std::string next = NextFile();
    std::uint64_t size = 0;
    if (!next.empty() && Exists(PathOf(m_position.file), &size) && size == m_position.offset) {
        m_position = {next, 0};
    }
}

bool LogCursor::MoveOn(std::string_view why) {
    const std::string next = NextFile();
    if (next.empty()) {
        return false;  // today's file before today's first record, or the only one there is
    }
    m_report("forwarding: log file " + PathOf(m_position.file) + " " + std::string(why) +
             "; going on with " + PathOf(next));
    m_position = {next, 0};
    return true;
}

std::string LogCursor::NextFile() const {
    const LocalTime now = m_clock();
    const auto today = now ? DayOf(*now) : std::nullopt;
    if (!today) {
        return {};
    }
    const auto current = DayOfFile(m_position.file, *today);
    if (!current) {
        const std::string todays = FileOfDay(*today);
        return todays != m_position.file && Exists(PathOf(todays)) ? todays : std::string();
    }
    for (auto day = std::chrono::sys_days(*current) + std::chrono::days(1);
         day <= std::chrono::sys_days(*today); day += std::chrono::days(1)) {
        const std::string file = FileOfDay(std::chrono::year_month_day(day));
        if (Exists(PathOf(file))) {
            return file;
        }
    }
    return {};
}

}  // namespace tarnwick
