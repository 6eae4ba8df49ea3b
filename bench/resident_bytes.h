#pragma once

// The process's resident memory, for the benchmarks' per-record and per-device figures.

#include <fstream>
#include <string>

inline long ResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long kilobytes = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> kilobytes;
            break;
        }
    }
    return kilobytes * 1024;
}
