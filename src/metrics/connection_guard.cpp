#include "metrics/connection_guard.h"

#include <algorithm>

namespace tarnwick {

void ConnectionGuard::Opened(int fd, std::string peer, Clock::time_point now) {
    std::lock_guard lock(m_guard);
    CutExpiredLocked(now);
    m_held.push_back({fd, peer, now + m_limits.requestTime});
    while (HeldBy(peer) > m_limits.perPeer) {
        CutOneOf(peer);
    }
    while (HeldInAll() > m_limits.most) {
        CutOneOf(BusiestPeer());
    }
}

void ConnectionGuard::Answered(int fd, Clock::time_point now) {
    std::lock_guard lock(m_guard);
    for (Held& held : m_held) {
        if (held.fd == fd) {
            held.deadline = now + m_limits.requestTime;
        }
    }
}

void ConnectionGuard::Closed(int fd) {
    std::lock_guard lock(m_guard);
    std::erase_if(m_held, [fd](const Held& held) { return held.fd == fd; });
}

void ConnectionGuard::CutExpired(Clock::time_point now) {
    std::lock_guard lock(m_guard);
    CutExpiredLocked(now);
}

void ConnectionGuard::CutExpiredLocked(Clock::time_point now) {
    for (Held& held : m_held) {
        if (!held.cut && held.deadline <= now) {
            held.cut = true;
            m_cut(held.fd);
        }
    }
}

void ConnectionGuard::CutOneOf(const std::string& peer) {
    const auto oldest = std::find_if(m_held.begin(), m_held.end(), [&peer](const Held& held) {
        return !held.cut && held.peer == peer;
    });
    if (oldest != m_held.end()) {
        oldest->cut = true;
        m_cut(oldest->fd);
    }
}

std::size_t ConnectionGuard::HeldBy(const std::string& peer) const {
    return static_cast<std::size_t>(
        std::count_if(m_held.begin(), m_held.end(),
                      [&peer](const Held& held) { return !held.cut && held.peer == peer; }));
}

std::size_t ConnectionGuard::HeldInAll() const {
    return static_cast<std::size_t>(
        std::count_if(m_held.begin(), m_held.end(), [](const Held& held) { return !held.cut; }));
}

std::string ConnectionGuard::BusiestPeer() const {
    std::string busiest;
    std::size_t most = 0;
    for (const Held& held : m_held) {
        const std::size_t count = held.cut ? 0 : HeldBy(held.peer);
        if (count > most) {
            most = count;
            busiest = held.peer;
        }
    }
    return busiest;
}

}  // namespace tarnwick
