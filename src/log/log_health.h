#pragma once

// Turns the stream of log write results into what an operator must hear: one report when
// writing starts failing, one when it recovers (with how many records missed the log).

#include <cstdint>
#include <optional>
#include <string>

#include "log/daily_log.h"

namespace tarnwick {

class LogHealth {
public:
    // The line to report when this result changes the state; nullopt otherwise.
    // Failing:    "Log not written: PATH: REASON"
    // Recovering: "Log written again: PATH (N records missed the log)"
    [[nodiscard]] std::optional<std::string> Record(const LogWriteResult& result);
    // Entries wait for another program's lock: "Log waiting: PATH: locked by another program".
    [[nodiscard]] std::optional<std::string> Waiting(const std::string& path);

    [[nodiscard]] bool Failing() const { return m_failing; }
    // The failing line while failing, else empty: the window's status text.
    [[nodiscard]] const std::string& StatusText() const { return m_status; }

private:
    bool m_failing = false;
    std::uint64_t m_missedSinceFailing = 0;
    std::string m_status;
};

}  // namespace tarnwick
