#pragma once

// For tests that drive the engine over real sockets on 127.0.0.1: a peer standing in for a
// device, and a front end whose hand-offs a test can wait for. Every wait is bounded.

#include <gtest/gtest.h>

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
#include "support/udp.h"

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

    [[nodiscard]] std::uint16_t Port() const { return m_udp.Port(); }

    void SendTo(std::uint16_t port, std::span<const std::uint8_t> bytes) const {
        m_udp.SendTo(port, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    }
    void SendTo(std::uint16_t port, std::string_view text) const { m_udp.SendTo(port, text); }

    // The next datagram to arrive within timeout.
    [[nodiscard]] std::optional<Datagram> Receive(std::chrono::milliseconds timeout = kPatience) {
        auto got = m_udp.Receive(timeout);
        if (!got) {
            return std::nullopt;
        }
        return Datagram{ToBytes(got->bytes), got->port};
    }
    // The next datagram's bytes; none when nothing arrived within kPatience.
    [[nodiscard]] Bytes ReceiveBytes() {
        auto got = Receive();
        return got ? std::move(got->bytes) : Bytes{};
    }

    // What the centre hands over for a record from this peer.
    [[nodiscard]] std::string TextHandOff(std::string_view body) const {
        return "127.0.0.1 (" + std::to_string(Port()) + "):" + std::string(body);
    }

private:
    mutable test::UdpPeer m_udp = test::UdpPeer::BindLoopback();
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
