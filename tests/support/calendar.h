#pragma once

// A local time as the tests' clocks give it, written as a date: TmOf(2026, 12, 8, 10, 2) is
// 8 December 2026, 10:02:00.

#include <ctime>

namespace tarnwick::test {

inline std::tm TmOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

}  // namespace tarnwick::test
