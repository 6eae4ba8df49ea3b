#include "session/resend_window.h"

#include <algorithm>
#include <charconv>

namespace tarnwick {
namespace {

constexpr std::int64_t kDay = 86'400;

LogSecond SecondOf(int year, unsigned month, unsigned day, int hour, int minute, int second) {
    const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                           std::chrono::day(day)};
    if (!date.ok() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 60) {
        return std::nullopt;
    }
    const std::int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
    return days * kDay + hour * 3600 + minute * 60 + second;
}

// The digits at text[at, at + width): nothing but digits, or -1.
int DigitsAt(std::string_view text, std::size_t at, std::size_t width) {
    int value = 0;
    const char* first = text.data() + at;
    const auto [end, error] = std::from_chars(first, first + width, value);
    return error == std::errc() && end == first + width ? value : -1;
}

}  // namespace

LogSecond LogSecondOf(const std::tm& t) {
    return SecondOf(t.tm_year + 1900, static_cast<unsigned>(t.tm_mon + 1),
                    static_cast<unsigned>(t.tm_mday), t.tm_hour, t.tm_min, t.tm_sec);
}

LogSecond LogSecondOf(std::string_view logTime) {
    constexpr std::string_view kShape = "0000-00-00 00:00:00";
    if (logTime.size() != kShape.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] != '0' && logTime[i] != kShape[i]) {
            return std::nullopt;
        }
    }
    const int month = DigitsAt(logTime, 5, 2);
    const int day = DigitsAt(logTime, 8, 2);
    if (month < 0 || day < 0) {
        return std::nullopt;
    }
    return SecondOf(DigitsAt(logTime, 0, 4), static_cast<unsigned>(month),
                    static_cast<unsigned>(day), DigitsAt(logTime, 11, 2), DigitsAt(logTime, 14, 2),
                    DigitsAt(logTime, 17, 2));
}

bool ResendWindow::Seen(std::string_view key, std::string_view text, LogSecond at) {
    if (m_window == 0 || !at) {
        return false;
    }
    while (!m_order.empty() && (m_order.size() >= kInAll || !Within(m_order.front().at, *at))) {
        DropOldest();
    }
    auto& device = *m_devices.try_emplace(std::string(key)).first;
    const std::uint64_t hash = std::hash<std::string_view>{}(text);
    const std::vector<Recent>& recent = device.second.recent;
    const bool resent = std::any_of(recent.begin(), recent.end(), [&](const Recent& r) {
        return r.hash == hash && Within(r.at, *at);
    });
    Keep(device, hash, *at);
    return resent;
}

bool ResendWindow::Within(std::int64_t a, std::int64_t b) const {
    return (a > b ? a - b : b - a) <= m_window;
}

void ResendWindow::Keep(Devices::value_type& device, std::uint64_t hash, std::int64_t at) {
    std::vector<Recent>& recent = device.second.recent;
    if (recent.size() == kPerDevice) {
        recent.erase(recent.begin());
    }
    recent.push_back({hash, at, m_serial});
    m_order.push_back({&device, m_serial, at});
    ++device.second.inOrder;
    ++m_serial;
}

void ResendWindow::DropOldest() {
    const Place oldest = m_order.front();
    m_order.pop_front();
    Device& device = oldest.device->second;
    std::vector<Recent>& recent = device.recent;
    if (!recent.empty() && recent.front().serial == oldest.serial) {
        recent.erase(recent.begin());
        // A device that once held many gives their room back as they go.
        if (recent.capacity() > 16 && recent.size() < recent.capacity() / 4) {
            recent.shrink_to_fit();
        }
    }
    if (--device.inOrder == 0) {
        m_devices.erase(m_devices.find(oldest.device->first));
    }
}

}  // namespace tarnwick
