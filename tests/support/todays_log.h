#pragma once

// The name of the log file the centre writes today's entries to.

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

}  // namespace tarnwick::test
