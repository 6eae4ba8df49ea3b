#include "web/attempt_limit.h"

#include <iterator>

namespace tarnwick {

void AttemptLimit::Forget(std::deque<Clock::time_point>& failures, Clock::time_point now) {
    while (!failures.empty() && now - failures.front() >= kWindow) {
        failures.pop_front();
    }
}

std::optional<std::chrono::seconds> AttemptLimit::Refused(const std::string& address,
                                                          Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    const auto found = m_failures.find(address);
    if (found == m_failures.end()) {
        return std::nullopt;
    }
    Forget(found->second, now);
    if (found->second.size() < kFailuresAllowed) {
        return std::nullopt;
    }
    const auto wait = found->second.front() + kWindow - now;
    // Rounded up: a client told 0 seconds would try again at once.
    return std::chrono::ceil<std::chrono::seconds>(wait);
}

void AttemptLimit::Failed(const std::string& address, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    if (m_failures.size() >= kMostAddresses && !m_failures.contains(address)) {
        for (auto entry = m_failures.begin(); entry != m_failures.end();) {
            Forget(entry->second, now);
            entry = entry->second.empty() ? m_failures.erase(entry) : std::next(entry);
        }
    }
    if (m_failures.size() >= kMostAddresses && !m_failures.contains(address)) {
        return;  // a flood from that many addresses: the newest are not tracked
    }
    auto& failures = m_failures[address];
    Forget(failures, now);
    failures.push_back(now);
}

}  // namespace tarnwick
