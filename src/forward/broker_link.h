#pragma once

// The forwarder's one connection to the broker at a time: made when one is due, thrown away
// whole when it is lost, refused or gives no answer in time, and made again after 1, 2, then
// every 4 s. Events of a connection thrown away are stale and never reach the forwarder. The
// operator hears of the first connection, of an outage once with its first reason, and of the
// connection coming back.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forward/broker_connection.h"
#include "session/moment.h"

namespace tarnwick {

// What becomes of the link, told on the forwarder's thread in the order it happened.
class LinkListener {
public:
    // Connected, and subscribed to every filter.
    virtual void Up() = 0;
    // The connection is gone with all it had in flight.
    virtual void Down() = 0;
    // The broker acknowledged message mid.
    virtual void Acked(int mid) = 0;
    // retained: the broker kept it from before, and hands it over at every subscription.
    virtual void Received(const std::string& topic, const std::string& payload, bool retained) = 0;

protected:
    virtual ~LinkListener() = default;
};

struct LinkSettings {
    std::string url;                          // as the operator is told it
    std::optional<std::string> passwordFile;  // its first line, read afresh for each connection
    std::string willTopic;
    std::string will;
    std::vector<std::string> filters;  // subscribed to on each connection
};

class BrokerLink {
public:
    using Reporter = std::function<void(std::string line)>;

    // wake: any thread, when events were queued for Serve. now: the clock every delay is
    // measured on, and the one the outage's time is shown from.
    BrokerLink(LinkSettings settings, ConnectionMaker connect, LinkListener& listener,
               Reporter report, std::function<void()> wake, std::function<Moment()> now);
    BrokerLink(const BrokerLink&) = delete;
    BrokerLink& operator=(const BrokerLink&) = delete;
    ~BrokerLink() { Close(); }

    // The forwarder's thread, from here to Close: the connection's reading and writing, the
    // events queued since the last call, then a connection when one is due, or the end of one
    // that got no answer in time.
    void Serve();
    // What the forwarder's thread waits on between Serves.
    [[nodiscard]] ConnectionSocket Socket() const;
    [[nodiscard]] bool Up() const { return m_up; }
    // QoS 1: the message's mid; nothing when the link is down or the connection refused it
    // (then it is down).
    [[nodiscard]] std::optional<int> Publish(const std::string& topic, std::string_view payload,
                                             bool retain);
    // The connection is thrown away for reason; another is made after the back-off.
    void Fail(const std::string& reason);
    // The connection is thrown away, and no other made until the next Serve.
    void Close();

    // Any thread: "MQTT broker connected", "MQTT broker down since HH:MM:SS", or before the
    // first connection "MQTT broker: connecting".
    [[nodiscard]] std::string StateText() const;

private:
    using Clock = std::chrono::steady_clock;

    void Queue(std::uint64_t connection, LinkEvent event);
    void Handle(const LinkEvent& event);
    void Attempt();
    void Connected();
    void SetState(std::string state);

    // Constant from construction on.
    LinkSettings m_settings;
    ConnectionMaker m_connect;
    LinkListener& m_listener;
    Reporter m_report;
    std::function<void()> m_wake;
    std::function<Moment()> m_now;

    // The connection queues events for the connection it has, from its calls or a thread of its
    // own; the forwarder's thread takes them and moves to the next connection: both under
    // m_eventsMutex.
    std::mutex m_eventsMutex;
    std::vector<LinkEvent> m_events;
    std::uint64_t m_connectionId = 0;  // events of earlier connections are stale

    // Written by the forwarder's thread, read by the front end's.
    mutable std::mutex m_stateMutex;
    std::string m_state = "MQTT broker: connecting";

    // The forwarder's thread alone.
    std::unique_ptr<BrokerConnection> m_connection;
    bool m_up = false;
    bool m_wasUp = false;
    bool m_downReported = false;  // since the last connection, or the start
    Clock::time_point m_nextAttempt{};
    Clock::time_point m_attemptDeadline{};
    std::chrono::seconds m_backoff{1};
};

}  // namespace tarnwick
