#include "session/resends_at_start.h"

#include <vector>

#include "log/recent_entries.h"

namespace tarnwick {

void SeedResendWindow(ResendWindow& window, std::chrono::seconds reach, const DeviceKeyRule& key,
                      const std::string& logFile, const LocalTime& now) {
    const LogSecond nowSecond = now ? LogSecondOf(*now) : std::nullopt;
    const std::optional<Day> today = DayOf(now);
    if (nowSecond && today) {
        SeedResendWindow(window, reach, key,
                         {.folder = logFile.substr(0, logFile.rfind('/') + 1),
                          .day = *today,
                          .today = *today,
                          .at = *nowSecond});
    }
}

void SeedResendWindow(ResendWindow& window, std::chrono::seconds reach, const DeviceKeyRule& key,
                      const SeedPoint& point) {
    if (reach.count() == 0) {
        return;
    }
    const std::int64_t since = point.at - reach.count();
    const auto recent = [since](const LogEntry& entry) {
        const LogSecond at = LogSecondOf(entry.time);
        return at && *at >= since;
    };
    const auto pathOf = [&](Day day) {
        return point.folder + NameOfDay(day, kDayLogFamily, point.today);
    };
    // The newest first, so the bound keeps them; a day of log seconds is 86,400 of them.
    std::vector<LogEntry> days[2];
    days[1] = RecentEntries(pathOf(point.day), recent, ResendWindow::kInAll, point.end);
    const std::chrono::sys_days dayStart(point.day);
    if (since < dayStart.time_since_epoch().count() * 86'400 &&
        days[1].size() < ResendWindow::kInAll) {
        days[0] = RecentEntries(pathOf(Day(dayStart - std::chrono::days(1))), recent,
                                ResendWindow::kInAll - days[1].size());
    }
    for (const std::vector<LogEntry>& entries : days) {
        for (const LogEntry& entry : entries) {
            if (!entry.hex) {
                (void)window.Seen(DeviceKeyOf(key, entry.text, entry.address, entry.port),
                                  entry.text, LogSecondOf(entry.time));
            }
        }
    }
}

}  // namespace tarnwick
