#pragma once

// Broker connections that go nowhere, for the forwarder's parts: the test plays the broker. It
// sees every connection made (numbered from 0), what each was asked to publish and subscribe
// to, and delivers the broker's events to any of them, a thrown-away one too, as a late event
// would come. Safe from any thread.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "forward/broker_connection.h"

namespace tarnwick::test {

struct FakePublish {
    std::size_t connection = 0;
    std::string topic;
    std::string payload;
    bool retain = false;
    int mid = 0;
};

class FakeBroker {
public:
    // What the forwarder's link makes its connections with.
    [[nodiscard]] ConnectionMaker Maker();

    // What the next connections do: the reason Start gives ("" starts), the connection's own
    // words for its last error, and whether publishing is refused.
    void FailStarts(std::string reason);
    void SetLastError(std::string text);
    void RefusePublishing(bool refuse);

    // The broker's event to connection n (mid numbers the connection's publishes from 1).
    void Deliver(std::size_t connection, LinkEvent event);

    [[nodiscard]] std::size_t Connections() const;
    [[nodiscard]] bool Open(std::size_t connection) const;  // made and not yet thrown away
    [[nodiscard]] std::vector<FakePublish> Published() const;
    [[nodiscard]] std::vector<std::string> Subscribed(std::size_t connection) const;

    // Polls every millisecond until done says so, for at most timeout; its last answer.
    bool WaitFor(const std::function<bool(const FakeBroker&)>& done,
                 std::chrono::milliseconds timeout) const;

private:
    class Connection;
    struct Made {
        BrokerConnection::Deliver deliver;
        bool open = true;
        int lastMid = 0;
        std::vector<std::string> subscribed{};
    };

    mutable std::mutex m_mutex;  // guards every member below
    std::vector<Made> m_made;
    std::vector<FakePublish> m_published;
    std::string m_startError;
    std::string m_lastError;
    bool m_refusePublishing = false;
};

}  // namespace tarnwick::test
