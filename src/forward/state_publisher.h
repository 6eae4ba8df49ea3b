#pragma once

// The retained states on the broker: the centre's status with its counters every 10 s (and
// "offline" as it stops), and each device's state when it is first heard, goes silent or
// reports again, and otherwise at most every 10 s, never once per record.

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "forward/broker_link.h"
#include "forward/forward_settings.h"
#include "forward/payloads.h"
#include "log/log_space.h"
#include "session/counters.h"
#include "session/device_table.h"
#include "session/moment.h"

namespace tarnwick {

// PREFIX/status, or PREFIX/status/CLIENT for one of several centres: each keeps its own status
// and its own last will, so that one going away marks no other offline.
[[nodiscard]] std::string StatusTopicOf(const ForwardSettings& settings);

class StatePublisher {
public:
    // A device as the device table has it now; any thread.
    using DeviceLookup = std::function<std::optional<DeviceRow>(const std::string& key)>;

    StatePublisher(const ForwardSettings& settings, DeviceLookup device, BrokerLink& link,
                   std::function<Moment()> now);

    // Any thread: the front end's counters, for the next status.
    void SetCounters(const CounterSnapshot& counters);
    // Any thread: the log folder's figures, for the next status.
    void SetLogSpace(const LogSpace& space);
    // Any thread: a device went silent or reports again; its state goes out at the next
    // PublishDevicesDue.
    void DeviceDue(const std::string& key);

    // The forwarder's thread, from here on. The link is up: the status goes out at once.
    void Connected();
    // How forwarding stands, for the next status; StatusNow: that status goes out at once.
    void SetForward(ForwardState forward) { m_forward = std::move(forward); }
    void StatusNow() { m_nextStatus = {}; }
    // Each false when the link refused a publish (it is down then); what did not go out goes
    // at the next connection.
    bool PublishStatusIfDue();
    bool PublishDevicesDue();
    // A record of key's is going out: its device's state first, when due.
    bool RecordFrom(const std::string& key);
    // The centre stops: a clean stop sends no last will.
    void Offline();

private:
    using Clock = std::chrono::steady_clock;

    bool PublishDevice(const std::string& key);

    // Constant from construction on.
    std::string m_deviceTopic;
    std::string m_statusTopic;
    DeviceLookup m_device;
    BrokerLink& m_link;
    std::function<Moment()> m_now;

    // Written by the front end's thread, taken by the forwarder's.
    std::mutex m_mutex;
    CounterSnapshot m_counters;
    LogSpace m_logSpace;
    std::unordered_set<std::string> m_devicesDue;

    // The forwarder's thread alone. When each device's state may next go out unasked.
    std::unordered_map<std::string, Clock::time_point> m_deviceNext;
    Clock::time_point m_nextStatus{};
    ForwardState m_forward;
};

}  // namespace tarnwick
