#pragma once

// For tests that drive the session over real sockets on 127.0.0.1: a peer standing in for a
// device, and a front end whose records a test can wait for. Every wait is bounded.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "session/session.h"
#include "support/temp_folder.h"
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

// A front end woken into a condition variable, so a test can wait for handled records.
class WaitableFrontEnd {
public:
    [[nodiscard]] std::function<void()> Waker() {
        return [this] { Wake(); };
    }

    // Every record handled so far, once there are at least n or timeout has passed.
    const std::vector<RecvHandOff>& WaitFor(Session& session, std::size_t n,
                                            std::chrono::milliseconds timeout = kPatience) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_woken = false;  // before draining: a push after the drain wakes us again
            lock.unlock();
            Take(session);
            lock.lock();
            if (m_received.size() >= n ||
                !m_wake.wait_until(lock, deadline, [this] { return m_woken; })) {
                return m_received;
            }
        }
    }

    // Whether each record so far was logged, in order.
    [[nodiscard]] const std::vector<bool>& Logged() const { return m_logged; }
    // The log's health reports so far.
    [[nodiscard]] const std::vector<std::string>& Reports() const { return m_reports; }

private:
    void Take(Session& session) {
        session.DrainInto(m_batch);
        for (HandledRecord& handled : m_batch) {
            if (handled.logReport) {
                m_reports.push_back(*handled.logReport);
            }
            if (handled.record) {
                m_received.push_back(std::move(*handled.record));
                m_logged.push_back(handled.logged);
            }
        }
        m_batch.clear();
    }

    void Wake() {
        std::lock_guard lock(m_mutex);
        m_woken = true;
        m_wake.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_woken = false;
    std::vector<HandledRecord> m_batch;
    std::vector<RecvHandOff> m_received;
    std::vector<bool> m_logged;
    std::vector<std::string> m_reports;
};

inline SessionConfig ConfigFor(std::string logFile, std::function<void()> wake,
                               DeviceSettings devices = {}) {
    SessionConfig config;
    config.logFile = std::move(logFile);
    config.wake = std::move(wake);
    config.devices = std::move(devices);
    return config;
}

// A session listening on a port of the system's choosing, logging into a temporary folder,
// and one peer.
class SessionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(session.Listen(0).ok()); }

    // Sends kRecord from peer and waits until it is the n-th record handled.
    void SendRecord(const Peer& from, std::size_t n) {
        from.SendTo(session.Port(), kRecord);
        ASSERT_EQ(front.WaitFor(session, n).size(), n);
    }
    const std::vector<RecvHandOff>& WaitFor(std::size_t n,
                                            std::chrono::milliseconds timeout = kPatience) {
        return front.WaitFor(session, n, timeout);
    }

    test::TempFolder folder;
    WaitableFrontEnd front;
    Session session{ConfigFor(folder.PathOf("Data_logs_0307.txt"), front.Waker())};
    Peer peer;
};

}  // namespace tarnwick::enginetest
