#include "forward/broker_link.h"

#include <algorithm>
#include <fstream>
#include <utility>

#include "log/time_text.h"

namespace tarnwick {
namespace {

constexpr auto kConnectTimeout = std::chrono::seconds(10);
// Short enough that forwarding resumes within 5 s of the broker's return.
constexpr auto kLongestBackoff = std::chrono::seconds(4);

// The password file's first line; empty when it cannot be read (the broker then refuses).
std::string PasswordOf(const std::optional<std::string>& file) {
    std::string password;
    if (file) {
        std::ifstream in(*file);
        std::getline(in, password);
    }
    return password;
}

// "HH:MM:SS"; empty when the time has no local time.
std::string ClockOf(std::time_t at) {
    const std::string column = TimeColumnText(LocalTimeOf(at));
    return column.substr(std::min<std::size_t>(2, column.size()));
}

}  // namespace

BrokerLink::BrokerLink(LinkSettings settings, ConnectionMaker connect, LinkListener& listener,
                       Reporter report, std::function<void()> wake, std::function<Moment()> now)
    : m_settings(std::move(settings)),
      m_connect(std::move(connect)),
      m_listener(listener),
      m_report(std::move(report)),
      m_wake(std::move(wake)),
      m_now(std::move(now)) {}

std::string BrokerLink::StateText() const {
    const std::lock_guard lock(m_stateMutex);
    return m_state;
}

void BrokerLink::SetState(std::string state) {
    const std::lock_guard lock(m_stateMutex);
    m_state = std::move(state);
}

// Within the connection's calls, or on its own thread: queued, and the forwarder woken for the
// first of a burst (Serve takes them all); nothing else.
void BrokerLink::Queue(std::uint64_t connection, LinkEvent event) {
    bool first = false;
    {
        const std::lock_guard lock(m_eventsMutex);
        if (connection != m_connectionId) {
            return;
        }
        first = m_events.empty();
        m_events.push_back(std::move(event));
    }
    if (first) {
        m_wake();
    }
}

ConnectionSocket BrokerLink::Socket() const {
    return m_connection ? m_connection->Socket() : ConnectionSocket{};
}

void BrokerLink::Serve() {
    if (m_connection) {
        m_connection->Pump();
    }
    std::vector<LinkEvent> events;
    {
        const std::lock_guard lock(m_eventsMutex);
        events.swap(m_events);
    }
    for (const LinkEvent& event : events) {
        if (!m_connection) {
            break;  // the connection failed while these were queued
        }
        Handle(event);
    }
    const Clock::time_point now = m_now().steady;
    if (!m_connection && now >= m_nextAttempt) {
        Attempt();
    } else if (m_connection && !m_up && now >= m_attemptDeadline) {
        Fail("no answer within " + std::to_string(kConnectTimeout.count()) + " s");
    }
}

void BrokerLink::Handle(const LinkEvent& event) {
    switch (event.kind) {
        case LinkEvent::Kind::Connected:
            Connected();
            break;
        case LinkEvent::Kind::Refused:
            Fail("refused: " + event.text);
            break;
        case LinkEvent::Kind::Lost:
            Fail(event.text);
            break;
        case LinkEvent::Kind::Acked:
            m_listener.Acked(event.mid);
            break;
        case LinkEvent::Kind::Message:
            m_listener.Received(event.text, event.payload, event.retained);
            break;
    }
}

void BrokerLink::Attempt() {
    std::uint64_t id = 0;
    {
        const std::lock_guard lock(m_eventsMutex);
        id = ++m_connectionId;
    }
    m_connection = m_connect([this, id](LinkEvent event) { Queue(id, std::move(event)); });
    m_attemptDeadline = m_now().steady + kConnectTimeout;
    const std::string error = m_connection->Start(PasswordOf(m_settings.passwordFile),
                                                  m_settings.willTopic, m_settings.will);
    if (!error.empty()) {
        Fail(error);
    }
}

void BrokerLink::Connected() {
    m_up = true;
    m_backoff = std::chrono::seconds(1);
    SetState("MQTT broker connected");
    if (!m_wasUp) {
        m_report("MQTT broker connected: " + m_settings.url);
    } else if (m_downReported) {
        m_report("MQTT broker back: " + m_settings.url + "; catching up from the log");
    }
    m_wasUp = true;
    m_downReported = false;
    for (const std::string& filter : m_settings.filters) {
        if (!m_connection->Subscribe(filter)) {
            Fail("subscribe refused");
            return;
        }
    }
    m_listener.Up();
}

std::optional<int> BrokerLink::Publish(const std::string& topic, std::string_view payload,
                                       bool retain) {
    int mid = 0;
    if (!m_up) {
        return std::nullopt;
    }
    if (!m_connection->Publish(topic, payload, retain, mid)) {
        Fail("publish refused");
        return std::nullopt;
    }
    return mid;
}

// Said once an outage, with its first reason: the connection's own words when it had some.
void BrokerLink::Fail(const std::string& reason) {
    if (!m_downReported) {
        const std::string own = m_connection ? m_connection->LastError() : "";
        std::string_view text = own.empty() ? reason : own;
        if (text.ends_with('.')) {
            text.remove_suffix(1);
        }
        m_report("MQTT broker down: " + m_settings.url + ": " + std::string(text) +
                 "; retrying, records wait in the log");
        SetState("MQTT broker down since " + ClockOf(m_now().wall));
        m_downReported = true;
    }
    Close();
    m_nextAttempt = m_now().steady + m_backoff;
    m_backoff = std::min(m_backoff * 2, kLongestBackoff);
    m_listener.Down();
}

// Never under m_eventsMutex: a connection with a thread of its own may be queuing an event
// this instant, and ending it waits for that thread.
void BrokerLink::Close() {
    {
        const std::lock_guard lock(m_eventsMutex);
        ++m_connectionId;
        m_events.clear();
    }
    m_connection.reset();
    m_up = false;
}

}  // namespace tarnwick
