#include "session/device_table.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace tarnwick {
namespace {

// How many settled held commands stay listed, the newest: the operator sees what became of a
// command without the list growing for ever.
constexpr std::size_t kSettledListed = 100;
// Events a front end has not taken yet, at most; past it they are counted, not kept.
constexpr std::size_t kEventsKept = 100'000;
// The last states of commands kept for the devices' histories, of all devices together.
constexpr std::size_t kHistoryKept = 10'000;

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
        case DeviceEvent::Kind::Restored:
            return command_state::kRestored;
        case DeviceEvent::Kind::Unknown:
            return command_state::kUnknown;
    }
    return "";
}

std::string FromBroker(std::string_view url, std::string_view id) {
    return "broker " + std::string(url) + " id " + std::string(id);
}

std::string FromPage(std::string_view clientAddress) {
    return "page " + std::string(clientAddress);
}

DeviceTable::DeviceTable(DeviceSettings settings, CommandJournal* journal,
                         std::function<HoldClock()> holdClock)
    : m_settings(std::move(settings)), m_journal(journal), m_holdClock(std::move(holdClock)) {}

std::vector<HeldCommand> DeviceTable::Heard(std::string_view loggedRecord, std::string_view body,
                                            const socket_info& sender, const Moment& now,
                                            bool resent) {
    std::string key = DeviceKeyOf(m_settings.key, body, sender.addr.Text(), sender.addr.Port());
    std::lock_guard lock(m_mutex);
    Entry& entry = Find(key, sender, now);
    DeviceRow& row = entry.row;
    row.client = sender;
    row.lastHeard = now.wall;
    entry.heardAt = now.steady;
    ++row.records;
    row.resends += resent ? 1U : 0U;
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
    const std::time_t at = std::time(nullptr);
    if (errorCode == 0) {
        AddEvent({DeviceEvent::Kind::Sent, command.key, command.id, command.text, 0});
        Note(command, std::string(command_state::kSent), at);
        return;
    }
    Note(command, std::string(command_state::kNotSent) + ": " + std::strerror(errorCode), at);
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

std::uint64_t DeviceTable::CommandSent(const PeerAddress& to, std::string_view text,
                                       std::string_view source, std::time_t at, int errorCode) {
    std::lock_guard lock(m_mutex);
    const std::uint64_t id = m_nextId++;
    // The newest senders stand first: the device a command goes to is almost always near.
    const auto entry = std::ranges::find_if(
        m_order, [&to](const Entry& candidate) { return candidate.row.client.addr == to; });
    const std::string key = entry == m_order.end()
                                ? to.Text() + " (" + std::to_string(to.Port()) + ")"
                                : entry->row.key;
    const std::string state =
        errorCode == 0 ? std::string(command_state::kSent)
                       : std::string(command_state::kNotSent) + ": " + std::strerror(errorCode);
    Note({at, id, key, state, std::string(source), std::string(text), std::nullopt});
    if (errorCode != 0) {
        return id;
    }
    ++m_commandsSent;
    AddEvent({DeviceEvent::Kind::Sent, key, id, std::string(text), 0});
    if (entry == m_order.end()) {
        return id;
    }
    ++entry->row.commandsSent;
    entry->row.latestCommand.assign(text);
    entry->row.latestCommandAt = at;
    return id;
}

void DeviceTable::CommandSettled(const std::string& key, std::string_view text,
                                 std::string_view source, std::string state, std::time_t at) {
    std::lock_guard lock(m_mutex);
    Note({at, m_nextId++, key, std::move(state), std::string(source), std::string(text),
          std::nullopt});
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
                             std::string text, const Moment& now, HoldFor who,
                             std::string_view source) {
    std::lock_guard lock(m_mutex);
    HeldCommand command{0,
                        key,
                        std::move(datagram),
                        std::move(text),
                        std::string(source),
                        HeldState::Waiting,
                        now.wall,
                        0,
                        now.steady + m_settings.holdFor};
    const HoldResult admitted = Admit(command, who);
    if (admitted.outcome != HoldResult::Outcome::Held) {
        return admitted;
    }
    command.id = m_nextId++;
    AddEvent({DeviceEvent::Kind::Held, key, command.id, command.text, 0});
    Note(command, std::string(command_state::kHeld), now.wall, m_settings.holdFor);
    return Wait(std::move(command));
}

HoldResult DeviceTable::Restore(const CommandEntry& given, std::vector<std::uint8_t> datagram,
                                std::chrono::seconds left, const Moment& now) {
    std::lock_guard lock(m_mutex);
    HeldCommand command{
        given.id, given.key, std::move(datagram), given.text, given.source, HeldState::Waiting,
        given.at, 0,         now.steady + left};
    const HoldResult admitted = Admit(command, HoldFor::AnyKey);
    if (admitted.outcome != HoldResult::Outcome::Held) {
        return admitted;
    }
    m_nextId = std::max(m_nextId, given.id + 1);
    AddEvent({DeviceEvent::Kind::Restored, given.key, given.id, given.text, 0});
    Note(command, std::string(command_state::kRestored), now.wall, left);
    return Wait(std::move(command));
}

void DeviceTable::SettledAtStart(const CommandEntry& given, DeviceEvent::Kind kind,
                                 const Moment& now, std::optional<std::string> state) {
    std::lock_guard lock(m_mutex);
    m_nextId = std::max(m_nextId, given.id + 1);
    AddEvent({kind, given.key, given.id, given.text, 0});
    CommandEntry settled = given;
    settled.at = now.wall;
    settled.state = state.value_or(std::string(DeviceEventWord(kind)));
    settled.clock.reset();
    Note(std::move(settled));
}

void DeviceTable::RestoreHistory(const std::vector<CommandEntry>& settled, std::uint64_t lastId) {
    std::lock_guard lock(m_mutex);
    m_nextId = std::max(m_nextId, lastId + 1);
    for (const CommandEntry& entry : settled) {
        m_history.push_back(entry);
    }
    while (m_history.size() > kHistoryKept) {
        m_history.pop_front();
    }
}

std::vector<CommandEntry> DeviceTable::History(const std::string& key, std::size_t most) const {
    std::lock_guard lock(m_mutex);
    std::vector<CommandEntry> history;
    for (auto entry = m_history.rbegin(); entry != m_history.rend() && history.size() < most;
         ++entry) {
        if (entry->key == key) {
            history.push_back(*entry);
        }
    }
    return history;
}

// Under m_mutex: whether command may wait, as Hold says.
HoldResult DeviceTable::Admit(const HeldCommand& command, HoldFor who) const {
    const bool heard = Heard(command.key);
    if (!heard && who == HoldFor::HeardDevices) {
        return {HoldResult::Outcome::NoDevice};
    }
    // Keys not heard yet are bounded as devices are: no more keys wait than devices are kept,
    // and their commands are bounded in bytes.
    if (!heard &&
        ((!m_waiting.contains(command.key) && m_waiting.size() >= m_settings.maxDevices) ||
         m_unheardBytes + BytesOf(command) > kMostUnheardBytes)) {
        return {HoldResult::Outcome::KeysFull};
    }
    const auto waiting = m_waiting.find(command.key);
    if (waiting != m_waiting.end() && waiting->second.size() >= m_settings.maxHeld) {
        return {HoldResult::Outcome::Full};
    }
    return {HoldResult::Outcome::Held};
}

// Under m_mutex: command, admitted, waits for its key's next report.
HoldResult DeviceTable::Wait(HeldCommand command) {
    if (const auto found = m_byKey.find(command.key); found != m_byKey.end()) {
        ++found->second->row.commandsHeld;
    } else {
        m_unheardBytes += BytesOf(command);
    }
    ++m_waitingCount;
    const std::uint64_t id = command.id;
    m_waitingKey.emplace(id, command.key);
    std::deque<HeldCommand>& waiting = m_waiting[command.key];
    // Restored commands come in the order they were held, before any held since.
    waiting.insert(std::ranges::upper_bound(waiting, id, {}, &HeldCommand::id), std::move(command));
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
    // A delivery is on record as being sent until the socket has taken it.
    Note(command, std::string(kind ? DeviceEventWord(*kind) : command_state::kSending), at);
    m_settled.push_back(std::move(command));
}

void DeviceTable::Note(const HeldCommand& command, std::string state, std::time_t at,
                       std::optional<std::chrono::seconds> left) {
    std::optional<HoldClock> clock;
    if (left) {
        clock = m_holdClock();
        clock->leftSeconds = left->count();
    }
    Note({at, command.id, command.key, std::move(state), command.source, command.text,
          std::move(clock)});
}

void DeviceTable::Note(CommandEntry entry) {
    if (Settles(entry.state)) {
        m_history.push_back(entry);
        if (m_history.size() > kHistoryKept) {
            m_history.pop_front();
        }
    }
    if (m_journal != nullptr) {
        m_journal->Note(std::move(entry));
    }
}

void DeviceTable::AddEvent(DeviceEvent event) {
    if (m_events.size() >= kEventsKept) {
        ++m_unreported;
        return;
    }
    m_events.push_back(std::move(event));
}

}  // namespace tarnwick
