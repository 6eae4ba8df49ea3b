#pragma once

// For tests that drive the engine over real sockets on 127.0.0.1: a peer standing in for a
// device, and a front end whose hand-offs a test can wait for. Every wait is bounded.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/centre.h"
#include "net/queued_front_end.h"

namespace tarnwick::enginetest {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// How long something that takes milliseconds may take before the test gives up on it.
inline constexpr std::chrono::milliseconds kPatience = 5s;
// How long to watch for something that must not happen.
inline constexpr std::chrono::milliseconds kQuiet = 100ms;

inline constexpr std::string_view kRecord = "#ST,123;STA:1,2;#";
inline constexpr std::string_view kTrimmedRecord = "#ST,123;STA:1;#";

inline Bytes ToBytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// Polls done() until it holds or kPatience has passed; its last answer.
template <class Done>
bool WaitUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A device: a UDP socket on 127.0.0.1, on a port the system chose.
class Peer {
public:
    struct Datagram {
        Bytes bytes;
        std::uint16_t fromPort = 0;
    };

    Peer() : m_fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address = Loopback(0);
        EXPECT_EQ(bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        socklen_t length = sizeof address;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    ~Peer() { close(m_fd); }

    [[nodiscard]] std::uint16_t Port() const { return m_port; }

    void SendTo(std::uint16_t port, std::span<const std::uint8_t> bytes) const {
        const sockaddr_in to = Loopback(port);
        EXPECT_EQ(sendto(m_fd, bytes.data(), bytes.size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(bytes.size()));
    }
    void SendTo(std::uint16_t port, std::string_view text) const { SendTo(port, ToBytes(text)); }

    // The next datagram to arrive within timeout.
    [[nodiscard]] std::optional<Datagram> Receive(std::chrono::milliseconds timeout = kPatience) {
        pollfd readable{m_fd, POLLIN, 0};
        if (poll(&readable, 1, static_cast<int>(timeout.count())) != 1) {
            return std::nullopt;
        }
        Bytes buffer(65536);
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const auto n = recvfrom(m_fd, buffer.data(), buffer.size(), 0,
                                reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) {
            return std::nullopt;
        }
        buffer.resize(static_cast<std::size_t>(n));
        return Datagram{std::move(buffer), ntohs(from.sin_port)};
    }
    // The next datagram's bytes; none when nothing arrived within kPatience.
    [[nodiscard]] Bytes ReceiveBytes() {
        auto got = Receive();
        return got ? std::move(got->bytes) : Bytes{};
    }

    // What the centre hands over for a record from this peer.
    [[nodiscard]] std::string TextHandOff(std::string_view body) const {
        return "127.0.0.1 (" + std::to_string(m_port) + "):" + std::string(body);
    }

private:
    static sockaddr_in Loopback(std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    int m_fd;
    std::uint16_t m_port = 0;
};

// The queued front end, woken into a condition variable so a test can wait for hand-offs.
class WaitableFrontEnd {
public:
    // Whatever feeds it (a centre) must be destroyed before this object.
    QueuedFrontEnd queued{[this] { Wake(); }};

    // Everything handed over so far, once there are at least n or timeout has passed.
    const std::vector<RecvHandOff>& WaitFor(std::size_t n,
                                            std::chrono::milliseconds timeout = kPatience) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_woken = false;  // before draining: a push after the drain wakes us again
            lock.unlock();
            queued.DrainInto(m_received);
            lock.lock();
            if (m_received.size() >= n ||
                !m_wake.wait_until(lock, deadline, [this] { return m_woken; })) {
                return m_received;
            }
        }
    }

private:
    void Wake() {
        std::lock_guard lock(m_mutex);
        m_woken = true;
        m_wake.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_woken = false;
    std::vector<RecvHandOff> m_received;
};

// A centre listening on a port of the system's choosing, and one peer.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(centre.Listen("0").ok()); }

    // Sends kRecord from peer and waits until it is the n-th hand-off.
    void SendRecord(const Peer& from, std::size_t n) {
        from.SendTo(centre.Port(), kRecord);
        ASSERT_EQ(front.WaitFor(n).size(), n);
    }

    WaitableFrontEnd front;
    Centre centre{front.queued};
    Peer peer;
};

}  // namespace tarnwick::enginetest
