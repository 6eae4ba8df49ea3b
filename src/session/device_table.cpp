#include "session/device_table.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace tarnwick {
namespace {

// How many settled held commands stay listed, the newest: the operator sees what became of a
// command without the list growing for ever.
constexpr std::size_t kSettledListed = 100;
// Events a front end has not taken yet, at most; past it they are counted, not kept.
constexpr std::size_t kEventsKept = 100'000;

std::size_t BytesOf(const HeldCommand& command) {
    return command.datagram.size() + command.text.size();
}

std::size_t BytesOf(const std::deque<HeldCommand>& commands) {
    std::size_t bytes = 0;
    for (const HeldCommand& command : commands) {
        bytes += BytesOf(command);
    }
    return bytes;
}

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
        case DeviceEvent::Kind::SentElsewhere:
            return "sent by another centre";
        case DeviceEvent::Kind::SendFailed:
            return "not sent";
        case DeviceEvent::Kind::Silent:
            return "silent";
        case DeviceEvent::Kind::Reporting:
            return "reporting again";
        case DeviceEvent::Kind::Forgotten:
            return "forgotten";
        case DeviceEvent::Kind::Unreported:
            return "not reported";
    }
    return "";
}

DeviceTable::DeviceTable(DeviceSettings settings) : m_settings(std::move(settings)) {}

std::vector<HeldCommand> DeviceTable::Heard(std::string_view loggedRecord, std::string_view body,
                                            const socket_info& sender, const Moment& now) {
    std::string key = DeviceKeyOf(m_settings.key, body, sender.addr.Text(), sender.addr.Port());
    std::lock_guard lock(m_mutex);
    Entry& entry = Find(key, sender, now);
    DeviceRow& row = entry.row;
    row.client = sender;
    row.lastHeard = now.wall;
    entry.heardAt = now.steady;
    ++row.records;
    row.latestRecord.assign(loggedRecord);
    if (row.silent) {
        row.silent = false;
        AddEvent({DeviceEvent::Kind::Reporting, row.key, 0, {}, 0});
    }
    return row.commandsHeld > 0 ? Deliver(row, now) : std::vector<HeldCommand>{};
}

DeviceTable::Entry& DeviceTable::Find(const std::string& key, const socket_info& sender,
                                      const Moment& now) {
    const auto found = m_byKey.find(key);
    if (found != m_byKey.end()) {
        m_order.splice(m_order.begin(), m_order, found->second);
        return m_order.front();
    }
    DeviceRow row{key, sender, now.wall, now.wall, 0, {}, 0, 0, {}, 0, false};
    if (const auto waiting = m_waiting.find(key); waiting != m_waiting.end()) {
        row.commandsHeld = waiting->second.size();
        m_unheardBytes -= BytesOf(waiting->second);
    }
    m_order.push_front({std::move(row), now.steady});
    m_byKey.emplace(key, m_order.begin());
    if (m_order.size() > m_settings.maxDevices) {
        Forget();
    }
    return m_order.front();
}

std::vector<HeldCommand> DeviceTable::Deliver(DeviceRow& row, const Moment& now) {
    const auto waiting = m_waiting.find(row.key);
    std::vector<HeldCommand> due;
    while (waiting != m_waiting.end() && !waiting->second.empty() &&
           due.size() < kDeliveredPerReport) {
        due.push_back(TakeWaiting(row.key, waiting->second.begin()));
        Settle(due.back(), HeldState::Sent, now.wall, std::nullopt);
        ++row.commandsSent;
        ++m_commandsSent;
        row.latestCommand = due.back().text;
        row.latestCommandAt = now.wall;
    }
    if (waiting != m_waiting.end() && waiting->second.empty()) {
        m_waiting.erase(waiting);
    }
    return due;
}

void DeviceTable::Delivered(const HeldCommand& command, int errorCode) {
    std::lock_guard lock(m_mutex);
    if (errorCode == 0) {
        AddEvent({DeviceEvent::Kind::Sent, command.key, command.id, command.text, 0});
        return;
    }
    AddEvent({DeviceEvent::Kind::SendFailed, command.key, command.id, command.text, errorCode});
    --m_commandsSent;
    if (const auto found = m_byKey.find(command.key); found != m_byKey.end()) {
        --found->second->row.commandsSent;
    }
    // Settled a moment ago: among the newest.
    const auto settled =
        std::ranges::find(m_settled.rbegin(), m_settled.rend(), command.id, &HeldCommand::id);
    if (settled != m_settled.rend()) {
        settled->state = HeldState::NotSent;
        settled->errorCode = errorCode;
    }
}

void DeviceTable::CommandSent(const PeerAddress& to, std::string_view text, std::time_t at) {
    std::lock_guard lock(m_mutex);
    ++m_commandsSent;
    // The newest senders stand first: the device a command goes to is almost always near.
    const auto entry = std::ranges::find_if(
        m_order, [&to](const Entry& candidate) { return candidate.row.client.addr == to; });
    if (entry == m_order.end()) {
        return;
    }
    ++entry->row.commandsSent;
    entry->row.latestCommand.assign(text);
    entry->row.latestCommandAt = at;
}

std::vector<DeviceRow> DeviceTable::Devices(const Moment& now) const {
    std::lock_guard lock(m_mutex);
    std::vector<DeviceRow> rows;
    rows.reserve(m_order.size());
    for (const Entry& entry : m_order) {
        rows.push_back(RowOf(entry, now));
    }
    return rows;
}

std::optional<DeviceRow> DeviceTable::Device(const std::string& key, const Moment& now) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_byKey.find(key);
    if (found == m_byKey.end()) {
        return std::nullopt;
    }
    return RowOf(*found->second, now);
}

HoldResult DeviceTable::Hold(const std::string& key, std::vector<std::uint8_t> datagram,
                             std::string text, const Moment& now, HoldFor who) {
    std::lock_guard lock(m_mutex);
    const auto found = m_byKey.find(key);
    if (found == m_byKey.end() && who == HoldFor::HeardDevices) {
        return {HoldResult::Outcome::NoDevice};
    }
    // Keys not heard yet are bounded as devices are: no more keys wait than devices are kept,
    // and their commands are bounded in bytes.
    const std::size_t bytes = datagram.size() + text.size();
    if (found == m_byKey.end() &&
        ((!m_waiting.contains(key) && m_waiting.size() >= m_settings.maxDevices) ||
         m_unheardBytes + bytes > kMostUnheardBytes)) {
        return {HoldResult::Outcome::KeysFull};
    }
    std::deque<HeldCommand>& waiting = m_waiting[key];
    if (waiting.size() >= m_settings.maxHeld) {
        return {HoldResult::Outcome::Full};
    }
    const std::uint64_t id = m_nextId++;
    if (found != m_byKey.end()) {
        ++found->second->row.commandsHeld;
    } else {
        m_unheardBytes += bytes;
    }
    ++m_waitingCount;
    m_waitingKey.emplace(id, key);
    AddEvent({DeviceEvent::Kind::Held, key, id, text, 0});
    waiting.push_back({id, key, std::move(datagram), std::move(text), HeldState::Waiting, now.wall,
                       0, now.steady + m_settings.holdFor, 0});
    return {HoldResult::Outcome::Held, id};
}

bool DeviceTable::Cancel(std::uint64_t id, const Moment& now) {
    return SettleWaiting(id, HeldState::Cancelled, DeviceEvent::Kind::Cancelled, now);
}

bool DeviceTable::SentElsewhere(std::uint64_t id, const Moment& now) {
    return SettleWaiting(id, HeldState::SentElsewhere, DeviceEvent::Kind::SentElsewhere, now);
}

bool DeviceTable::SettleWaiting(std::uint64_t id, HeldState state, DeviceEvent::Kind kind,
                                const Moment& now) {
    std::lock_guard lock(m_mutex);
    const auto key = m_waitingKey.find(id);
    if (key == m_waitingKey.end()) {
        return false;
    }
    // A key holds at most maxHeld: the search is as short whatever number wait.
    const std::string keyText = key->second;
    const auto entry = m_waiting.find(keyText);
    std::deque<HeldCommand>& waiting = entry->second;
    HeldCommand command = TakeWaiting(keyText, std::ranges::find(waiting, id, &HeldCommand::id));
    if (waiting.empty()) {
        m_waiting.erase(entry);
    }
    Settle(std::move(command), state, now.wall, kind);
    return true;
}

// Under m_mutex.
HeldCommand DeviceTable::TakeWaiting(const std::string& key,
                                     std::deque<HeldCommand>::iterator command) {
    std::deque<HeldCommand>& waiting = m_waiting.find(key)->second;
    HeldCommand taken = std::move(*command);
    waiting.erase(command);
    m_waitingKey.erase(taken.id);
    if (!Heard(key)) {
        m_unheardBytes -= BytesOf(taken);
    }
    return taken;
}

std::vector<HeldCommand> DeviceTable::HeldCommands() const {
    std::lock_guard lock(m_mutex);
    std::vector<HeldCommand> listed(m_settled.begin(), m_settled.end());
    for (const auto& entry : m_waiting) {
        listed.insert(listed.end(), entry.second.begin(), entry.second.end());
    }
    std::ranges::sort(listed, {}, &HeldCommand::id);
    return listed;
}

std::size_t DeviceTable::Waiting() const {
    std::lock_guard lock(m_mutex);
    return m_waitingCount;
}

DeviceCounts DeviceTable::Counts(const Moment& now) const {
    std::lock_guard lock(m_mutex);
    // The least recently heard stand last: the silent ones are the tail.
    const auto silent =
        std::ranges::find_if(m_order.rbegin(), m_order.rend(),
                             [this, &now](const Entry& entry) { return !IsSilent(entry, now); });
    return {m_order.size(), static_cast<std::size_t>(std::distance(m_order.rbegin(), silent)),
            m_waitingCount, m_commandsSent};
}

std::vector<DeviceEvent> DeviceTable::TakeEvents() {
    std::lock_guard lock(m_mutex);
    if (m_unreported > 0) {
        m_events.push_back(
            {DeviceEvent::Kind::Unreported, {}, std::exchange(m_unreported, 0), {}, 0});
    }
    return std::exchange(m_events, {});
}

std::uint64_t DeviceTable::Forgotten() const {
    std::lock_guard lock(m_mutex);
    return m_forgotten;
}

void DeviceTable::Tick(const Moment& now) {
    std::lock_guard lock(m_mutex);
    ExpireHeld(now);
    NoteSilences(now);
    while (m_settled.size() > kSettledListed) {
        m_settled.pop_front();
    }
}

void DeviceTable::ExpireHeld(const Moment& now) {
    for (auto entry = m_waiting.begin(); entry != m_waiting.end();) {
        std::deque<HeldCommand>& waiting = entry->second;
        // Each key's commands were held in order, so they expire in order.
        while (!waiting.empty() && waiting.front().expires <= now.steady) {
            HeldCommand command = TakeWaiting(entry->first, waiting.begin());
            Settle(std::move(command), HeldState::Expired, now.wall, DeviceEvent::Kind::Expired);
        }
        entry = waiting.empty() ? m_waiting.erase(entry) : std::next(entry);
    }
}

void DeviceTable::NoteSilences(const Moment& now) {
    // The least recently heard stand last: walk back until a device is not silent yet.
    for (auto entry = m_order.rbegin(); entry != m_order.rend() && IsSilent(*entry, now); ++entry) {
        if (!entry->row.silent) {
            entry->row.silent = true;
            AddEvent({DeviceEvent::Kind::Silent, entry->row.key, 0, {}, 0});
        }
    }
}

bool DeviceTable::IsSilent(const Entry& entry, const Moment& now) const {
    return now.steady - entry.heardAt > m_settings.silentAfter;
}

DeviceRow DeviceTable::RowOf(const Entry& entry, const Moment& now) const {
    DeviceRow row = entry.row;
    row.silent = IsSilent(entry, now);
    return row;
}

void DeviceTable::Forget() {
    const std::string key = m_order.back().row.key;
    m_byKey.erase(key);
    m_order.pop_back();
    if (const auto waiting = m_waiting.find(key); waiting != m_waiting.end()) {
        m_unheardBytes += BytesOf(waiting->second);
    }
    ++m_forgotten;
    AddEvent({DeviceEvent::Kind::Forgotten, key, 0, {}, 0});
}

void DeviceTable::Settle(HeldCommand command, HeldState state, std::time_t at,
                         std::optional<DeviceEvent::Kind> kind) {
    command.state = state;
    command.sentAt = at;
    if (const auto found = m_byKey.find(command.key); found != m_byKey.end()) {
        --found->second->row.commandsHeld;
    }
    --m_waitingCount;
    if (kind) {
        AddEvent({*kind, command.key, command.id, command.text, 0});
    }
    m_settled.push_back(std::move(command));
}

void DeviceTable::AddEvent(DeviceEvent event) {
    if (m_events.size() >= kEventsKept) {
        ++m_unreported;
        return;
    }
    m_events.push_back(std::move(event));
}

}  // namespace tarnwick
