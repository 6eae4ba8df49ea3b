#include "log/day_files.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <utility>

namespace tarnwick {
namespace {

constexpr std::string_view kNamePrefix = "Data_logs_";
constexpr std::string_view kNameEnd = ".txt";

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

}  // namespace

std::string LogFileName(const LocalTime& t) {
    return std::string(kNamePrefix) + MonthDayText(t) + std::string(kNameEnd);
}

DayFiles::DayFiles(std::string folder, LocalClock clock)
    : m_folder(std::move(folder)), m_clock(std::move(clock)) {}

std::string DayFiles::PathOf(const std::string& file) const {
    return m_folder + "/" + file;
}

std::string DayFiles::After(const std::string& file) const {
    const LocalTime now = m_clock();
    const auto today = now ? DayOf(*now) : std::nullopt;
    if (!today) {
        return {};
    }
    const auto current = DayOfFile(file, *today);
    if (!current) {
        const std::string todays = FileOfDay(*today);
        return todays != file && SizeOf(todays) ? todays : std::string();
    }
    for (auto day = std::chrono::sys_days(*current) + std::chrono::days(1);
         day <= std::chrono::sys_days(*today); day += std::chrono::days(1)) {
        const std::string next = FileOfDay(std::chrono::year_month_day(day));
        if (SizeOf(next)) {
            return next;
        }
    }
    return {};
}

std::optional<std::uint64_t> DayFiles::SizeOf(const std::string& file) const {
    struct stat status {};
    if (stat(PathOf(file).c_str(), &status) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.st_size);
}

std::vector<std::string> DayFiles::Paths() const {
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(kNamePrefix) && name.ends_with(kNameEnd)) {
            paths.push_back(entry.path().string());
        }
    }
    return paths;
}

std::string DayFiles::First() const {
    const LocalTime now = m_clock();
    const auto today = now ? DayOf(*now) : std::nullopt;
    if (!today) {
        return {};
    }
    // Each name stands for one day of the last year: the day after today's a year ago first.
    const auto yearAgo = std::chrono::sys_days(*today) - std::chrono::days(364);
    for (auto day = yearAgo; day <= std::chrono::sys_days(*today); day += std::chrono::days(1)) {
        const std::string file = FileOfDay(std::chrono::year_month_day(day));
        if (SizeOf(file)) {
            return file;
        }
    }
    return {};
}

LogPosition StartOfToday(const LocalClock& clock) {
    return {LogFileName(clock()), 0};
}

LogPosition StartOfDay(std::string_view logTime) {
    return {std::string(kNamePrefix) + std::string(logTime.substr(5, 2)) +
                std::string(logTime.substr(8, 2)) + std::string(kNameEnd),
            0};
}

}  // namespace tarnwick
