#pragma once

// A place in the daily log: a log file, by name, and a byte offset into it.

#include <cstdint>
#include <string>

namespace tarnwick {

struct LogPosition {
    std::string file;  // "Data_logs_MMDD.txt"
    std::uint64_t offset = 0;
    bool operator==(const LogPosition&) const = default;
};

}  // namespace tarnwick
