#include "session/device_table.h"

#include <algorithm>
#include <utility>

namespace tarnwick {
namespace {

// Settled held commands stay listed this long after the newest of them: the operator sees what
// became of a command without the list growing for ever.
constexpr std::size_t kSettledKept = 100;

}  // namespace

std::string_view DeviceEventWord(DeviceEvent::Kind kind) {
    switch (kind) {
        case DeviceEvent::Kind::Held:
            return "held";
        case DeviceEvent::Kind::Sent:
            return "sent";
        case DeviceEvent::Kind::Expired:
            return "expired";
        case DeviceEvent::Kind::Cancelled:
            return "cancelled";
        case DeviceEvent::Kind::SendFailed:
            return "not sent";
        case DeviceEvent::Kind::Silent:
            return "silent";
        case DeviceEvent::Kind::Reporting:
            return "reporting again";
        case DeviceEvent::Kind::Forgotten:
            return "forgotten";
    }
    return "";
}

DeviceTable::DeviceTable(DeviceSettings settings) : m_settings(std::move(settings)) {}

std::vector<HeldCommand> DeviceTable::Heard(std::string_view loggedRecord, std::string_view body,
                                            const socket_info& sender, std::time_t now) {
    std::string key = DeviceKeyOf(m_settings.key, body, sender.ipText, sender.port);
    std::lock_guard lock(m_mutex);
    auto found = m_byKey.find(key);
    if (found == m_byKey.end()) {
        m_order.push_front({DeviceRow{key, sender, now, now, 0, {}, 0, 0, false}});
        found = m_byKey.emplace(key, m_order.begin()).first;
        if (m_order.size() > m_settings.maxDevices) {
            Forget();
        }
    } else {
        m_order.splice(m_order.begin(), m_order, found->second);
    }
    DeviceRow& row = found->second->row;
    row.client = sender;
    row.lastHeard = now;
    ++row.records;
    row.latestRecord.assign(loggedRecord);
    if (row.silent) {
        row.silent = false;
        m_events.push_back({DeviceEvent::Kind::Reporting, key, 0, {}, 0});
    }
    std::vector<HeldCommand> due;
    for (std::size_t i = 0; row.commandsHeld > 0 && i < m_held.size(); ++i) {
        HeldCommand& command = m_held[i];
        if (command.state == HeldState::Waiting && command.key == key) {
            Settle(command, HeldState::Sent, now, DeviceEvent::Kind::Sent);
            ++row.commandsSent;
            due.push_back(command);
        }
    }
    return due;
}

void DeviceTable::SendFailed(const HeldCommand& command, int errorCode) {
    std::lock_guard lock(m_mutex);
    m_events.push_back(
        {DeviceEvent::Kind::SendFailed, command.key, command.id, command.text, errorCode});
}

std::vector<DeviceRow> DeviceTable::Devices(std::time_t now) const {
    std::lock_guard lock(m_mutex);
    std::vector<DeviceRow> rows;
    rows.reserve(m_order.size());
    for (const Entry& entry : m_order) {
        rows.push_back(entry.row);
        rows.back().silent = IsSilent(entry.row, now);
    }
    return rows;
}

std::optional<DeviceRow> DeviceTable::Device(const std::string& key, std::time_t now) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_byKey.find(key);
    if (found == m_byKey.end()) {
        return std::nullopt;
    }
    DeviceRow row = found->second->row;
    row.silent = IsSilent(row, now);
    return row;
}

std::optional<std::uint64_t> DeviceTable::Hold(const std::string& key,
                                               std::vector<std::uint8_t> datagram, std::string text,
                                               std::time_t now) {
    std::lock_guard lock(m_mutex);
    const auto found = m_byKey.find(key);
    if (found == m_byKey.end()) {
        return std::nullopt;
    }
    const std::uint64_t id = m_nextId++;
    ++found->second->row.commandsHeld;
    m_events.push_back({DeviceEvent::Kind::Held, key, id, text, 0});
    m_held.push_back({id, key, std::move(datagram), std::move(text), HeldState::Waiting, now, 0});
    return id;
}

bool DeviceTable::Cancel(std::uint64_t id, std::time_t now) {
    std::lock_guard lock(m_mutex);
    for (HeldCommand& command : m_held) {
        if (command.id == id && command.state == HeldState::Waiting) {
            Settle(command, HeldState::Cancelled, now, DeviceEvent::Kind::Cancelled);
            return true;
        }
    }
    return false;
}

std::vector<HeldCommand> DeviceTable::HeldCommands() const {
    std::lock_guard lock(m_mutex);
    return m_held;
}

std::size_t DeviceTable::Waiting() const {
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(
        std::count_if(m_held.begin(), m_held.end(),
                      [](const HeldCommand& c) { return c.state == HeldState::Waiting; }));
}

std::vector<DeviceEvent> DeviceTable::TakeEvents(std::time_t now) {
    std::lock_guard lock(m_mutex);
    for (HeldCommand& command : m_held) {
        if (command.state == HeldState::Waiting &&
            now - command.heldSince >= m_settings.holdFor.count()) {
            Settle(command, HeldState::Expired, now, DeviceEvent::Kind::Expired);
        }
    }
    DropOldSettled();
    // The least recently heard stand last: walk back until a device is not silent yet.
    for (auto entry = m_order.rbegin(); entry != m_order.rend(); ++entry) {
        DeviceRow& row = entry->row;
        if (!IsSilent(row, now)) {
            break;
        }
        if (!row.silent) {
            row.silent = true;
            m_events.push_back({DeviceEvent::Kind::Silent, row.key, 0, {}, 0});
        }
    }
    return std::exchange(m_events, {});
}

std::uint64_t DeviceTable::Forgotten() const {
    std::lock_guard lock(m_mutex);
    return m_forgotten;
}

bool DeviceTable::IsSilent(const DeviceRow& row, std::time_t now) const {
    return now - row.lastHeard > m_settings.silentAfter.count();
}

void DeviceTable::Forget() {
    const std::string key = m_order.back().row.key;
    m_byKey.erase(key);
    m_order.pop_back();
    ++m_forgotten;
    m_events.push_back({DeviceEvent::Kind::Forgotten, key, 0, {}, 0});
}

void DeviceTable::Settle(HeldCommand& command, HeldState state, std::time_t at,
                         DeviceEvent::Kind kind) {
    command.state = state;
    command.sentAt = at;
    if (const auto found = m_byKey.find(command.key); found != m_byKey.end()) {
        --found->second->row.commandsHeld;
    }
    m_events.push_back({kind, command.key, command.id, command.text, 0});
}

void DeviceTable::DropOldSettled() {
    const auto settled = static_cast<std::size_t>(
        std::count_if(m_held.begin(), m_held.end(),
                      [](const HeldCommand& c) { return c.state != HeldState::Waiting; }));
    std::size_t drop = settled > kSettledKept ? settled - kSettledKept : 0;
    std::erase_if(m_held, [&drop](const HeldCommand& c) {
        return c.state != HeldState::Waiting && drop > 0 && drop-- > 0;
    });
}

}  // namespace tarnwick
