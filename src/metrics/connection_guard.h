#pragma once

// Who may hold the server's connections, and for how long. Every connection gets a time to send
// each request whole, and is cut when it runs out, however slowly it trickles bytes. A peer
// holds a bounded number; a newcomer beyond a bound cuts the oldest connection of the peer that
// holds the most, so idle or trickling connections give way to the client that asks, rather
// than shutting it out. A cut shuts the socket down and leaves closing it to the server, so a
// descriptor number is never touched after the server has let it go.

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tarnwick {

struct ConnectionLimits {
    std::size_t most = 0;                               // connections held at once
    std::size_t perPeer = 0;                            // of them, from one peer address
    std::chrono::steady_clock::duration requestTime{};  // to send each request whole
};

class ConnectionGuard {
public:
    using Clock = std::chrono::steady_clock;
    // cut(fd) runs under the guard's lock, on the thread that called in.
    ConnectionGuard(ConnectionLimits limits, std::function<void(int fd)> cut)
        : m_limits(limits), m_cut(std::move(cut)) {}

    // Any thread: a connection accepted from peer, making room for it.
    void Opened(int fd, std::string peer, Clock::time_point now);
    // Any thread: a request on fd was answered; the next one gets its time afresh.
    void Answered(int fd, Clock::time_point now);
    // Any thread: the server has closed fd.
    void Closed(int fd);
    // Any thread: cuts the connections whose request time has run out.
    void CutExpired(Clock::time_point now);

private:
    struct Held {
        int fd = -1;
        std::string peer;
        Clock::time_point deadline;
        bool cut = false;  // shut down, waiting for the server to close it
    };
    void CutExpiredLocked(Clock::time_point now);
    void CutOneOf(const std::string& peer);
    [[nodiscard]] std::size_t HeldBy(const std::string& peer) const;
    [[nodiscard]] std::size_t HeldInAll() const;
    [[nodiscard]] std::string BusiestPeer() const;

    ConnectionLimits m_limits;
    std::function<void(int fd)> m_cut;
    std::mutex m_guard;
    std::vector<Held> m_held;  // in the order they were opened
};

}  // namespace tarnwick
