#include "log/day_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <tuple>
#include <utility>

namespace tarnwick {
namespace {

constexpr std::size_t kYearDigits = 4;

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

unsigned TwoDigits(std::string_view text) {
    return static_cast<unsigned>((text[0] - '0') * 10 + (text[1] - '0'));
}

// "2025/" before a name: the year it names, and the name after it.
std::optional<std::pair<int, std::string_view>> InYearFolder(std::string_view name) {
    if (name.size() <= kYearDigits + 1 || name[kYearDigits] != '/' ||
        !AllDigits(name.substr(0, kYearDigits))) {
        return std::nullopt;
    }
    const int year = static_cast<int>(TwoDigits(name) * 100 + TwoDigits(name.substr(2)));
    return std::pair(year, name.substr(kYearDigits + 1));
}

// The month and day a plain name of the family carries, as a day of year.
std::optional<Day> MonthDayOf(std::string_view name, const FileFamily& family,
                              std::chrono::year year) {
    if (name.size() != family.prefix.size() + 4 + family.end.size() ||
        !name.starts_with(family.prefix) || !name.ends_with(family.end)) {
        return std::nullopt;
    }
    const auto digits = name.substr(family.prefix.size(), 4);
    if (!AllDigits(digits)) {
        return std::nullopt;
    }
    const Day day{year, std::chrono::month(TwoDigits(digits)),
                  std::chrono::day(TwoDigits(digits.substr(2)))};
    return day;
}

// The last such day up to today (the name has no year).
std::optional<Day> LatestDayOf(std::string_view name, const FileFamily& family, Day today) {
    auto day = MonthDayOf(name, family, today.year());
    if (day && std::chrono::sys_days(*day) > std::chrono::sys_days(today)) {
        day = Day{today.year() - std::chrono::years(1), day->month(), day->day()};
    }
    return day && day->ok() ? day : std::nullopt;
}

std::string PlainName(Day day, const FileFamily& family) {
    std::tm t{};
    t.tm_mon = static_cast<int>(static_cast<unsigned>(day.month())) - 1;
    t.tm_mday = static_cast<int>(static_cast<unsigned>(day.day()));
    return std::string(family.prefix) + MonthDayText(t) + std::string(family.end);
}

void AddFilesOf(const std::filesystem::path& folder, const std::string& within,
                const FileFamily& family, Day today, std::vector<DayFile>& files) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = within + entry.path().filename().string();
        const auto day = DayOfName(name, family, today);
        if (day && std::chrono::sys_days(*day) <= std::chrono::sys_days(today)) {
            files.push_back({name, *day, name.ends_with(kCompressedEnd)});
        }
    }
}

}  // namespace

std::string LogFileName(const LocalTime& t) {
    return std::string(kDayLogFamily.prefix) + MonthDayText(t) + std::string(kDayLogFamily.end);
}

std::optional<Day> DayOf(const LocalTime& t) {
    if (!t) {
        return std::nullopt;
    }
    const Day day{std::chrono::year(t->tm_year + 1900),
                  std::chrono::month(static_cast<unsigned>(t->tm_mon + 1)),
                  std::chrono::day(static_cast<unsigned>(t->tm_mday))};
    return day.ok() ? std::optional(day) : std::nullopt;
}

std::optional<Day> DayOfName(std::string_view name, const FileFamily& family, Day today) {
    const auto inYear = InYearFolder(name);
    if (!inYear) {
        return LatestDayOf(name, family, today);
    }
    std::string_view plain = inYear->second;
    if (plain.ends_with(kCompressedEnd)) {
        plain.remove_suffix(kCompressedEnd.size());
    }
    const auto day = MonthDayOf(plain, family, std::chrono::year(inYear->first));
    return day && day->ok() ? day : std::nullopt;
}

std::string NameOfDay(Day day, const FileFamily& family, Day today) {
    std::string name = PlainName(day, family);
    if (LatestDayOf(name, family, today) == day) {
        return name;
    }
    return YearFolderName(static_cast<int>(day.year())) + "/" + name;
}

bool IsYearFolderFile(std::string_view name) {
    const auto inYear = InYearFolder(name);
    return inYear && MonthDayOf(inYear->second, kDayLogFamily, std::chrono::year(inYear->first));
}

std::string YearFolderName(int year) {
    std::string text = std::to_string(year);
    return std::string(text.size() < kYearDigits ? kYearDigits - text.size() : 0, '0') + text;
}

std::vector<DayFile> ListDayFiles(const std::string& folder, const FileFamily& family, Day today,
                                  int withYearsFrom) {
    std::vector<DayFile> files;
    AddFilesOf(folder, "", family, today, files);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == kYearDigits && AllDigits(name) && std::stoi(name) >= withYearsFrom &&
            entry.is_directory(error)) {
            AddFilesOf(entry.path(), name + "/", family, today, files);
        }
    }
    std::sort(files.begin(), files.end(), [](const DayFile& a, const DayFile& b) {
        return std::tie(a.day, a.compressed, a.name) < std::tie(b.day, b.compressed, b.name);
    });
    return files;
}

DayFiles::DayFiles(std::string folder, LocalClock clock)
    : m_folder(std::move(folder)), m_clock(std::move(clock)) {}

std::string DayFiles::PathOf(const std::string& file) const {
    return m_folder + "/" + file;
}

std::string DayFiles::After(const std::string& file) const {
    const auto today = DayOf(m_clock());
    if (!today) {
        return {};
    }
    const auto current = DayOfName(file, kDayLogFamily, *today);
    if (!current) {
        const std::string todays = PlainName(*today, kDayLogFamily);
        return todays != file && SizeOf(todays) ? todays : std::string();
    }
    if (std::chrono::sys_days(*current) >= std::chrono::sys_days(*today)) {
        return {};  // today's file: asked at every look while the forwarder is idle
    }
    const auto files =
        ListDayFiles(m_folder, kDayLogFamily, *today, static_cast<int>(current->year()));
    const auto next = std::find_if(files.begin(), files.end(), [&](const DayFile& f) {
        return !f.compressed && f.day > *current;
    });
    return next == files.end() ? std::string() : next->name;
}

std::optional<std::uint64_t> DayFiles::SizeOf(const std::string& file) const {
    struct stat status {};
    if (stat(PathOf(file).c_str(), &status) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.st_size);
}

std::vector<DayFile> DayFiles::Plain() const {
    const LocalTime now = m_clock();
    const auto today = now ? DayOf(*now) : std::nullopt;
    if (!today) {
        return {};
    }
    std::vector<DayFile> files = ListDayFiles(m_folder, kDayLogFamily, *today);
    std::erase_if(files, [](const DayFile& file) { return file.compressed; });
    return files;
}

std::vector<std::string> DayFiles::Paths() const {
    std::vector<std::string> paths;
    for (const DayFile& file : Plain()) {
        paths.push_back(PathOf(file.name));
    }
    return paths;
}

std::string DayFiles::First() const {
    const std::vector<DayFile> files = Plain();
    return files.empty() ? std::string() : files.front().name;
}

LogPosition StartOfToday(const LocalClock& clock) {
    return {LogFileName(clock()), 0};
}

LogPosition StartOfDay(std::string_view logTime, const LocalClock& clock) {
    const std::string name = std::string(kDayLogFamily.prefix) + std::string(logTime.substr(5, 2)) +
                             std::string(logTime.substr(8, 2)) + std::string(kDayLogFamily.end);
    const auto today = DayOf(clock());
    const auto day =
        today ? DayOfName(std::string(logTime.substr(0, 4)) + "/" + name, kDayLogFamily, *today)
              : std::nullopt;
    return {day ? NameOfDay(*day, kDayLogFamily, *today) : name, 0};
}

}  // namespace tarnwick
