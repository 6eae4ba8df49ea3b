#pragma once

// Failed attempts at the access token, counted per client address over the last minute: past
// the limit, that address is refused, even with the right token, until its oldest failure is a
// minute old. The addresses kept are bounded, so a flood from many cannot take the memory.

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace tarnwick {

class AttemptLimit {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kFailuresAllowed = 5;
    static constexpr auto kWindow = std::chrono::minutes(1);
    static constexpr std::size_t kMostAddresses = 10'000;

    // How long address must wait before it may try again; nothing when it may now.
    [[nodiscard]] std::optional<std::chrono::seconds> Refused(const std::string& address,
                                                              Clock::time_point now);
    void Failed(const std::string& address, Clock::time_point now);

private:
    // Under m_mutex: drops the failures older than the window.
    void Forget(std::deque<Clock::time_point>& failures, Clock::time_point now);

    std::mutex m_mutex;
    std::unordered_map<std::string, std::deque<Clock::time_point>> m_failures;
};

}  // namespace tarnwick
