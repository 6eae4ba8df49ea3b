#pragma once

// The devices the centre has heard: the senders of accepted device records (a stray datagram
// never makes a device), each under its key (device_key.h), with its latest address, when it
// was first and last heard, how many records it sent and the latest of them as logged, and
// the commands held for it until it next reports. Bounded: beyond its capacity the device
// heard least recently is forgotten, and counted. Thread-safe: the log stage writes it, the
// front ends read snapshots and hold or cancel commands.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "net/client_list.h"
#include "session/device_key.h"

namespace tarnwick {

struct DeviceSettings {
    DeviceKeyRule key;
    std::size_t maxDevices = 100'000;
    std::chrono::seconds holdFor = std::chrono::hours(24);
    std::chrono::seconds silentAfter = std::chrono::minutes(10);
};

// One device as the front ends show it.
struct DeviceRow {
    std::string key;
    socket_info client;  // the address and port of its latest record: where commands go
    std::time_t firstHeard = 0;
    std::time_t lastHeard = 0;
    std::uint64_t records = 0;
    std::string latestRecord;        // as logged: sender, ':' and the record
    std::uint64_t commandsHeld = 0;  // waiting now
    std::uint64_t commandsSent = 0;  // held commands delivered so far
    bool silent = false;             // nothing heard for longer than silentAfter
};

enum class HeldState { Waiting, Sent, Expired, Cancelled };

// A command held for a device's next report.
struct HeldCommand {
    std::uint64_t id = 0;
    std::string key;                     // the device it waits for
    std::vector<std::uint8_t> datagram;  // what goes out
    std::string text;                    // what the operator typed, for the lists
    HeldState state = HeldState::Waiting;
    std::time_t heldSince = 0;
    std::time_t sentAt = 0;  // or expired or cancelled at
};

// Something a front end reports: held-command states, silences, forgotten devices.
struct DeviceEvent {
    enum class Kind { Held, Sent, Expired, Cancelled, SendFailed, Silent, Reporting, Forgotten };
    Kind kind;
    std::string key;
    std::uint64_t commandId = 0;  // for the held-command kinds
    std::string text;             // the command's text, for the held-command kinds
    int errorCode = 0;            // SendFailed: the socket error
};

// "held", "sent", "expired", "cancelled", "not sent", "silent", "reporting again", "forgotten"
[[nodiscard]] std::string_view DeviceEventWord(DeviceEvent::Kind kind);

class DeviceTable {
public:
    explicit DeviceTable(DeviceSettings settings);

    // The log stage, for each accepted device record in arrival order: the record as logged
    // and its sender. Returns the commands now due for this device (moved to Sent), to be
    // sent right after the record's answer.
    std::vector<HeldCommand> Heard(std::string_view loggedRecord, std::string_view body,
                                   const socket_info& sender, std::time_t now);
    // A delivery of Heard's commands that the socket refused.
    void SendFailed(const HeldCommand& command, int errorCode);

    // Front ends.
    [[nodiscard]] std::vector<DeviceRow> Devices(std::time_t now) const;
    [[nodiscard]] std::optional<DeviceRow> Device(const std::string& key, std::time_t now) const;
    // Holds datagram for the device's next report; the command's id, or nothing when no such
    // device is known.
    std::optional<std::uint64_t> Hold(const std::string& key, std::vector<std::uint8_t> datagram,
                                      std::string text, std::time_t now);
    bool Cancel(std::uint64_t id, std::time_t now);
    // Every held command still listed (waiting, and the last ones sent, expired or cancelled).
    [[nodiscard]] std::vector<HeldCommand> HeldCommands() const;
    [[nodiscard]] std::size_t Waiting() const;
    // Expires commands held too long, notes devices going silent, and hands over every event
    // since the last call.
    [[nodiscard]] std::vector<DeviceEvent> TakeEvents(std::time_t now);
    [[nodiscard]] std::uint64_t Forgotten() const;

private:
    struct Entry {
        DeviceRow row;
    };
    using Order = std::list<Entry>;  // most recently heard first

    [[nodiscard]] bool IsSilent(const DeviceRow& row, std::time_t now) const;
    // Drops the device heard least recently.
    void Forget();
    void Settle(HeldCommand& command, HeldState state, std::time_t at, DeviceEvent::Kind kind);
    // Keeps the last settled commands listed, not all of them.
    void DropOldSettled();

    DeviceSettings m_settings;
    mutable std::mutex m_mutex;
    Order m_order;
    std::unordered_map<std::string, Order::iterator> m_byKey;
    std::vector<HeldCommand> m_held;  // in order of holding
    std::vector<DeviceEvent> m_events;
    std::uint64_t m_nextId = 1;
    std::uint64_t m_forgotten = 0;
};

}  // namespace tarnwick
