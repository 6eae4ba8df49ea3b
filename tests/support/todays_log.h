#pragma once

// The name of the log file the centre writes today's entries to, and entries as it writes them.

#include <time.h>

#include <string>

namespace tarnwick::test {

inline std::string TodaysLogName() {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char text[32] = {};
    strftime(text, sizeof text, "Data_logs_%m%d.txt", &local);
    return text;
}

// An entry as the log has it: its header, then "ADDR (PORT):record" or, for hex text,
// "ADDR  (PORT):" and the hex.
inline std::string LoggedEntry(const std::string& text,
                               const std::string& time = "2026-12-08 13:05:00") {
    return "-->" + time + std::string(40, '-') + "\r\n" + text + "\r\n";
}

}  // namespace tarnwick::test
