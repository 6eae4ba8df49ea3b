#pragma once

// The log folder looked after while the centre runs, on two threads of its own so that nothing
// here ever holds up the log stage: one measures the folder and its free space every few
// seconds (the figures are read from a cache), the other runs the archive rounds at idle
// priority, at start, once an hour, and at once when space runs short. Both are stopped on
// purpose and joined. What they do is said in lines the front end takes.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "log/archive_round.h"
#include "log/log_space.h"
#include "log/time_text.h"

namespace tarnwick {

struct UpkeepSettings {
    std::string folder;
    ArchiveRules rules;
    std::optional<std::uint64_t> minFree;  // none: log_space.h's default
    ForwardedReach forwarded;
    std::function<void()> wake;  // any thread: a line waits to be taken
    LocalClock clock = SystemLocalTime;
    std::chrono::milliseconds roundEvery = std::chrono::hours(1);
    std::chrono::milliseconds measureEvery = std::chrono::seconds(10);
};

class LogUpkeep {
public:
    explicit LogUpkeep(UpkeepSettings settings);
    LogUpkeep(const LogUpkeep&) = delete;
    LogUpkeep& operator=(const LogUpkeep&) = delete;
    ~LogUpkeep();

    // Ends a round between two files, and joins both threads.
    void Stop();

    // Any thread: the lines said since the last call, in order.
    [[nodiscard]] std::vector<std::string> TakeReports();
    // Any thread: the latest figures.
    [[nodiscard]] LogSpace Space() const;

private:
    void RunRounds(std::stop_token stop);
    void Measure(std::stop_token stop);
    void Say(std::string line);
    [[nodiscard]] bool StillShort() const;

    UpkeepSettings m_settings;
    mutable std::mutex m_mutex;  // guards the four below
    std::condition_variable_any m_roundDue;
    bool m_spaceShort = false;  // the measure found space short: a round frees some at once
    std::vector<std::string> m_reports;
    LogSpace m_space;
    std::jthread m_rounds;
    std::jthread m_measure;
};

}  // namespace tarnwick
