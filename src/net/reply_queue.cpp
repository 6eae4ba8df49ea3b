#include "net/reply_queue.h"

namespace tarnwick {

void ReplyQueue::Add(const sockaddr_in& to, Clock::time_point arrived) {
    m_pending.push_back({to, arrived + kReplyDelay});
}

std::optional<ReplyQueue::Clock::time_point> ReplyQueue::NextDue() const {
    if (m_pending.empty()) {
        return std::nullopt;
    }
    return m_pending.front().due;
}

void ReplyQueue::TakeDue(Clock::time_point now, std::vector<sockaddr_in>& out) {
    while (!m_pending.empty() && m_pending.front().due <= now) {
        out.push_back(m_pending.front().to);
        m_pending.pop_front();
    }
}

}  // namespace tarnwick
