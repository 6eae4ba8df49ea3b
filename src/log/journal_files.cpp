#include "log/journal_files.h"

#include <chrono>

namespace tarnwick {

std::string CommandJournalName(const LocalTime& t) {
    return std::string(kJournalFamily.prefix) + MonthDayText(t) + std::string(kJournalFamily.end);
}

std::vector<std::string> RecentJournalNames(const LocalTime& today, int days) {
    if (!today) {
        return {CommandJournalName(today)};
    }
    using namespace std::chrono;
    const sys_days last =
        year_month_day{year(today->tm_year + 1900), month(static_cast<unsigned>(today->tm_mon + 1)),
                       day(static_cast<unsigned>(today->tm_mday))};
    std::vector<std::string> names;
    for (int back = days; back >= 0; --back) {
        const year_month_day date{last - std::chrono::days(back)};
        std::tm t{};
        t.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
        t.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
        names.push_back(CommandJournalName(t));
    }
    return names;
}

// A day more than the reach, so a reach starting before midnight has its first day's file.
int JournalDaysWithin(std::chrono::seconds reach) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::days>(reach).count()) + 1;
}

std::vector<std::string> JournalNamesWithin(std::time_t now, std::chrono::seconds reach) {
    return RecentJournalNames(LocalTimeOf(now), JournalDaysWithin(reach));
}

}  // namespace tarnwick
