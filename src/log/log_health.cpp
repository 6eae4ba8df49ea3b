#include "log/log_health.h"

namespace tarnwick {

std::optional<std::string> LogHealth::Record(const LogWriteResult& result) {
    if (result.ok()) {
        if (!m_failing) {
            return std::nullopt;
        }
        const std::uint64_t missed = m_missedSinceFailing;
        m_failing = false;
        m_missedSinceFailing = 0;
        m_status.clear();
        return "Log written again: " + result.path + " (" + std::to_string(missed) +
               (missed == 1 ? " record" : " records") + " missed the log)";
    }
    m_missedSinceFailing += result.entries;
    std::string line = "Log not written: " + result.path + ": " + result.Reason();
    // While failing, only a different failure (another file, another cause) is news.
    if (m_failing && line == m_status) {
        return std::nullopt;
    }
    m_failing = true;
    m_status = line;
    return line;
}

std::optional<std::string> LogHealth::Waiting(const std::string& path) {
    std::string line = "Log waiting: " + path + ": locked by another program";
    if (line == m_status) {
        return std::nullopt;
    }
    m_failing = true;
    m_status = line;
    return line;
}

}  // namespace tarnwick
