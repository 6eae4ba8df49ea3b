#include "forward/command_ledger.h"

#include <algorithm>

#include "command/command_line.h"
#include "forward/payloads.h"

namespace tarnwick {
namespace {

// Beyond the most kept, the oldest go.
template <typename Queue>
void Bound(Queue& queue) {
    while (queue.size() > CommandLedger::kMostResults) {
        queue.pop_front();
    }
}

// A key and an id as one text: a key holds no NUL that a topic could carry to here unescaped.
std::string RefOf(std::string_view key, std::string_view id) {
    std::string ref(key);
    ref += '\0';
    ref += id;
    return ref;
}

}  // namespace

bool CommandLedger::TakeIn(BrokerCommand command, std::time_t at, Clock::time_point now) {
    const std::lock_guard lock(m_mutex);
    Forget(now);
    if (!command.refused.empty()) {
        Result(command, command.refused, at);
        if (m_refused.size() == kMostRefusedKept) {
            return false;
        }
        // A payload too long for a command is kept for the record only as far as one may go.
        command.text.resize(std::min(command.text.size(), kLongestCommandLine));
        m_refused.push_back(std::move(command));
        return m_refused.size() == 1 && m_commands.empty();
    }
    const std::string ref = RefOf(command.key, command.id);
    if (const auto known = m_known.find(ref); known != m_known.end()) {
        // Another centre's, and said by it: this one says nothing of it.
        if (known->second.sentElsewhere) {
            return false;
        }
        if (known->second.state.empty()) {
            ++known->second.answersOwed;
        } else {
            Result(command, known->second.state, at);
        }
        return false;
    }
    (void)Note(ref, command, now);
    m_commands.push_back(ref);
    return m_commands.size() == 1;
}

// Under m_mutex: ids older than the hold time, or beyond the most remembered, are forgotten.
void CommandLedger::Forget(Clock::time_point now) {
    while (!m_knownOrder.empty()) {
        const auto oldest = m_known.find(m_knownOrder.front());
        if (m_known.size() <= kMostIds && now - oldest->second.since < m_holdFor) {
            return;
        }
        m_known.erase(oldest);
        m_knownOrder.pop_front();
    }
}

CommandLedger::Known& CommandLedger::Note(const std::string& ref, const BrokerCommand& command,
                                          Clock::time_point now) {
    m_knownOrder.push_back(ref);
    Known& known = m_known[ref];
    known.command = command;
    known.since = now;
    return known;
}

void CommandLedger::Remember(const BrokerCommand& command, std::string state, std::uint64_t heldId,
                             bool sentElsewhere, Clock::time_point since) {
    const std::string ref = RefOf(command.key, command.id);
    const std::lock_guard lock(m_mutex);
    // One id on record as two commands (one taken again past an earlier run's hold time): the
    // later counts.
    const auto found = m_known.find(ref);
    Known& known = found == m_known.end() ? Note(ref, command, since) : found->second;
    known.state = std::move(state);
    known.sentElsewhere = sentElsewhere;
    known.heldId = heldId;
    if (heldId != 0) {
        m_held.emplace(heldId, command);
    }
}

std::vector<BrokerCommand> CommandLedger::TakeCommands(std::size_t most) {
    const std::lock_guard lock(m_mutex);
    std::vector<BrokerCommand> taken;
    while (!m_commands.empty() && taken.size() < most) {
        const auto known = m_known.find(m_commands.front());
        m_commands.pop_front();
        // Forgotten by a flood of newer ids, or delivered by another centre meanwhile.
        if (known != m_known.end() && !known->second.sentElsewhere) {
            taken.push_back(known->second.command);
        }
    }
    return taken;
}

bool CommandLedger::More() {
    const std::lock_guard lock(m_mutex);
    return !m_commands.empty();
}

void CommandLedger::Ran(const BrokerCommand& command, std::string_view state,
                        std::optional<std::uint64_t> heldId, std::time_t at) {
    const std::lock_guard lock(m_mutex);
    const auto known = m_known.find(RefOf(command.key, command.id));
    if (known != m_known.end()) {
        known->second.state = state;
        for (; known->second.answersOwed > 0; --known->second.answersOwed) {
            Result(command, state, at);
        }
    }
    Result(command, state, at);
    if (!heldId) {
        return;
    }
    if (known != m_known.end() && known->second.sentElsewhere) {
        m_sentElsewhere.push_back(*heldId);
        return;
    }
    m_held.emplace(*heldId, command);
    if (known != m_known.end()) {
        known->second.heldId = *heldId;
    }
}

bool CommandLedger::Settled(std::uint64_t heldId, std::string_view state, std::time_t at) {
    const std::lock_guard lock(m_mutex);
    const auto held = m_held.find(heldId);
    if (held == m_held.end()) {
        return false;
    }
    const BrokerCommand& command = held->second;
    if (const auto known = m_known.find(RefOf(command.key, command.id)); known != m_known.end()) {
        known->second.state = state;
        known->second.heldId = 0;
    }
    Result(command, state, at);
    m_held.erase(held);
    return true;
}

std::vector<BrokerCommand> CommandLedger::TakeRefused() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_refused, {});
}

std::vector<std::uint64_t> CommandLedger::TakeSentElsewhere() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_sentElsewhere, {});
}

// Under m_mutex.
void CommandLedger::Result(const BrokerCommand& command, std::string_view state, std::time_t at) {
    const std::string level = command.refused == kRefusedKey ? command.key : TopicKey(command.key);
    m_results.push_back({level, CommandResultPayload(command, state, at)});
    Bound(m_results);
    if (state == "sent") {
        const std::string ref = RefOf(command.key, command.id);
        m_ownSent.insert(ref);
        m_ownSentOrder.push_back(ref);
        if (m_ownSentOrder.size() > kMostResults) {
            // Handed back already, or not: either way no longer looked for.
            if (const auto oldest = m_ownSent.find(m_ownSentOrder.front());
                oldest != m_ownSent.end()) {
                m_ownSent.erase(oldest);
            }
            m_ownSentOrder.pop_front();
        }
    }
}

std::deque<CommandResult> CommandLedger::TakeResults() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_results, {});
}

void CommandLedger::ReturnResults(std::deque<CommandResult> unpublished) {
    const std::lock_guard lock(m_mutex);
    unpublished.insert(unpublished.end(), std::make_move_iterator(m_results.begin()),
                       std::make_move_iterator(m_results.end()));
    m_results = std::move(unpublished);
    Bound(m_results);
}

// The copy held here goes; one still to be run goes unrun, and one in hand as soon as it is
// held. A "sent" for a command not seen yet is remembered, so the hold arriving after it is
// answered "sent" and not run.
bool CommandLedger::Sent(const SentCommand& sent, Clock::time_point now) {
    const std::string ref = RefOf(sent.key, sent.id);
    const std::lock_guard lock(m_mutex);
    if (const auto own = m_ownSent.find(ref); own != m_ownSent.end()) {
        m_ownSent.erase(own);  // its place in the order goes with the bound
        return false;
    }
    auto known = m_known.find(ref);
    if (known == m_known.end()) {
        Known& noted = Note(ref, {true, sent.key, sent.id, {}}, now);
        noted.state = "sent";
        noted.sentElsewhere = true;
        return false;
    }
    if (!known->second.command.hold) {
        return false;  // a command for now goes where its device was heard, on every centre
    }
    known->second.sentElsewhere = true;
    if (known->second.heldId == 0) {
        return false;
    }
    m_sentElsewhere.push_back(known->second.heldId);
    m_held.erase(known->second.heldId);
    known->second.heldId = 0;
    known->second.state = "sent";
    return true;
}

}  // namespace tarnwick
