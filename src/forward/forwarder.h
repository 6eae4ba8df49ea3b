#pragma once

// Every answered record to the broker, from the daily log: its own thread reads whole entries
// from the acknowledged position on, publishes them with QoS 1 in log order, and moves the
// saved position only as the broker acknowledges them. A broker that is slow, absent or
// hostile only makes the forwarder fall behind: the backlog is the log on the disk.
//
// The front end owns it: it takes the reports (to show or print them on its own thread) and
// nudges the forwarder when records were logged.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "forward/backlog_count.h"
#include "forward/broker_command.h"
#include "forward/forward_position.h"
#include "forward/forward_settings.h"
#include "forward/mqtt_connection.h"
#include "log/log_cursor.h"
#include "session/counters.h"
#include "session/device_table.h"

namespace tarnwick {

class Forwarder {
public:
    // A device as the device table has it now; any thread.
    using DeviceLookup = std::function<std::optional<DeviceRow>(const std::string& key)>;

    // wake runs on the forwarder's thread when there is something for TakeReports.
    Forwarder(ForwardSettings settings, std::function<void()> wake, DeviceLookup device);
    Forwarder(const Forwarder&) = delete;
    Forwarder& operator=(const Forwarder&) = delete;
    ~Forwarder() { Stop(); }

    void Start();
    [[nodiscard]] bool OneOfSeveral() const { return m_settings.oneOfSeveral; }
    // Saves the acknowledged position and closes the connection; what is not yet acknowledged
    // goes out again at the next start.
    void Stop();

    // Any thread: records were logged, look now rather than at the next poll.
    void Nudge();
    // The front end's counters, for PREFIX/status.
    void SetCounters(const CounterSnapshot& counters);

    // The front end's thread: the commands that came through the broker, to be run there.
    [[nodiscard]] std::vector<BrokerCommand> TakeCommands();
    // What became of one TakeCommands gave (ResultState), for PREFIX/command-result/KEY;
    // heldId: the device table's id when it was held, whose later states come as device events.
    void Ran(const BrokerCommand& command, std::string_view state,
             std::optional<std::uint64_t> heldId);
    // The front end's thread: held commands (the device table's ids) that another centre on the
    // broker has delivered, to be dropped here.
    [[nodiscard]] std::vector<std::uint64_t> TakeSentElsewhere();
    // The device table's events, as the front end takes them.
    void DeviceEvents(const std::vector<DeviceEvent>& events);
    // The front end's thread: what the operator should hear since the last call.
    [[nodiscard]] std::vector<std::string> TakeReports();
    // "MQTT broker connected", "MQTT broker down since HH:MM:SS" or, before the first
    // connection, "MQTT broker: connecting", then ", N records behind" while more than a
    // window's worth waits in the log: the window's notice. The first call starts the count.
    [[nodiscard]] std::string StateText();

private:
    using Clock = std::chrono::steady_clock;
    using CommandRef = std::pair<std::string, std::string>;  // key and id
    struct InFlight {
        int mid = 0;
        LogPosition after;  // the position once this message is acknowledged
        bool acked = false;
        bool record = false;  // not a hex entry
    };

    void Run(const std::stop_token& stop);
    void Deliver(std::uint64_t connection, LinkEvent event);
    void Handle(const LinkEvent& event);
    void Attempt();
    void Connected();
    void Fail(const std::string& reason);
    void Drop();
    void Acked(int mid);
    void MoveAcked();
    void PublishMore();
    bool PublishEntry(const std::string& file, const LogEntry& entry);
    void SaveIfMoved();
    bool PublishStatus(std::string_view payload);
    void Subscribe();
    void Received(const LinkEvent& event);
    void Result(const BrokerCommand& command, std::string_view state);
    void SentElsewhere(const SentCommand& sent);
    void PublishResults();
    bool PublishDeviceIfDue(const std::string& key);
    bool PublishDevice(const std::string& key);
    void PublishDevicesDue();
    void PublishStatusIfDue();
    void Report(std::string line);
    void SetState(std::string state);
    void CountBacklogIfDue();

    ForwardSettings m_settings;
    std::function<void()> m_wake;
    std::string m_url;
    std::string m_statusTopic;

    std::mutex m_mutex;  // guards the three below
    std::condition_variable_any m_changed;
    std::vector<LinkEvent> m_events;
    bool m_nudged = false;
    CounterSnapshot m_counters;
    std::vector<BrokerCommand> m_commands;
    std::deque<std::pair<std::string, std::string>> m_results;  // topic and payload
    std::unordered_map<std::uint64_t, BrokerCommand> m_held;    // by the device table's id
    // Holds the front end has taken and not yet said what became of: another centre's "sent"
    // for one of them drops it as soon as it is held.
    std::multiset<CommandRef> m_inHand;
    std::set<CommandRef> m_sentWhileInHand;
    std::vector<std::uint64_t> m_sentElsewhere;
    // This centre's own "sent" results, until the broker hands them back.
    std::deque<CommandRef> m_ownSent;
    std::vector<std::string> m_reports;
    std::string m_state = "MQTT broker: connecting";

    // The forwarder's thread alone from here on.
    LogCursor m_cursor;
    LogPosition m_acked;
    LogPosition m_saved;
    int m_saveError = 0;
    // Published and not yet saved as acknowledged: what a kill would send again, so never more
    // than kMaxInFlight.
    std::deque<InFlight> m_inFlight;
    std::size_t m_ackedCount = 0;  // of those at its front, acknowledged
    std::unique_ptr<MqttConnection> m_connection;
    std::uint64_t m_connectionId = 0;  // events of earlier connections are stale
    bool m_up = false;
    bool m_wasUp = false;
    bool m_downReported = false;  // since the last connection, or the start
    Clock::time_point m_nextAttempt{};
    Clock::time_point m_nextStatus{};
    Clock::time_point m_attemptDeadline{};
    std::chrono::seconds m_backoff{1};
    DeviceLookup m_device;
    // When each device's state may next go out unasked, and the devices whose state must go
    // out now (silent, reporting again).
    std::unordered_map<std::string, Clock::time_point> m_deviceNext;
    std::unordered_set<std::string> m_devicesDue;  // under m_mutex
    std::optional<std::string> m_replayFrom;       // until the first entry from then on
    std::string m_lastRecordSender;                // "ADDR PORT" of the last record published
    std::string m_lastRecordKey;                   // and its key, for the hex entry after it
    // Counted only once somebody shows it, and afresh after the cursor passed over a file.
    std::atomic<bool> m_backlogWanted{false};
    std::atomic<std::uint64_t> m_behind{0};
    BacklogCount m_backlog;
    bool m_backlogStale = false;
    Clock::time_point m_nextCount{};

    std::jthread m_thread;  // last: stopped and joined first
};

}  // namespace tarnwick
