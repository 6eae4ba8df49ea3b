#pragma once

// "@517" replies waiting out their 1 ms after the record arrived. Reception goes on meanwhile,
// so the wait costs each reply latency, never the centre throughput.

#include <netinet/in.h>

#include <chrono>
#include <deque>
#include <optional>
#include <vector>

namespace tarnwick {

class ReplyQueue {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kReplyDelay{1};

    // A reply to `to` for a record that arrived at `arrived`; arrivals come in order.
    void Add(const sockaddr_in& to, Clock::time_point arrived);

    [[nodiscard]] std::optional<Clock::time_point> NextDue() const;
    [[nodiscard]] bool Empty() const { return m_pending.empty(); }

    // Moves the replies due at `now` to the end of out, oldest first.
    void TakeDue(Clock::time_point now, std::vector<sockaddr_in>& out);

private:
    struct Pending {
        sockaddr_in to;
        Clock::time_point due;
    };
    std::deque<Pending> m_pending;
};

}  // namespace tarnwick
