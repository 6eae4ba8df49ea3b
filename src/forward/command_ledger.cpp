#include "forward/command_ledger.h"

#include <algorithm>
#include <iterator>

namespace tarnwick {
namespace {

// Beyond the most kept, the oldest go.
template <typename Queue>
void Bound(Queue& queue) {
    while (queue.size() > CommandLedger::kMostResults) {
        queue.pop_front();
    }
}

}  // namespace

void CommandLedger::TakeIn(BrokerCommand command) {
    const std::lock_guard lock(m_mutex);
    m_commands.push_back(std::move(command));
}

std::vector<BrokerCommand> CommandLedger::TakeCommands() {
    const std::lock_guard lock(m_mutex);
    for (const BrokerCommand& command : m_commands) {
        if (command.hold) {
            m_inHand.emplace(command.key, command.id);
        }
    }
    return std::exchange(m_commands, {});
}

void CommandLedger::Ran(const BrokerCommand& command, std::string_view state,
                        std::optional<std::uint64_t> heldId, std::time_t at) {
    const std::lock_guard lock(m_mutex);
    const CommandRef ref{command.key, command.id};
    const bool sentElsewhere = m_sentWhileInHand.contains(ref);
    if (const auto inHand = m_inHand.find(ref); inHand != m_inHand.end()) {
        m_inHand.erase(inHand);
    }
    if (!m_inHand.contains(ref)) {
        m_sentWhileInHand.erase(ref);
    }
    if (heldId && sentElsewhere) {
        m_sentElsewhere.push_back(*heldId);
    } else if (heldId) {
        m_held.emplace(*heldId, command);
    }
    Result(command, state, at);
}

bool CommandLedger::Settled(std::uint64_t heldId, std::string_view state, std::time_t at) {
    const std::lock_guard lock(m_mutex);
    const auto held = m_held.find(heldId);
    if (held == m_held.end()) {
        return false;
    }
    Result(held->second, state, at);
    m_held.erase(held);
    return true;
}

std::vector<std::uint64_t> CommandLedger::TakeSentElsewhere() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_sentElsewhere, {});
}

// Under m_mutex.
void CommandLedger::Result(const BrokerCommand& command, std::string_view state, std::time_t at) {
    m_results.push_back({command.key, CommandResultPayload(command, state, at)});
    Bound(m_results);
    if (state == "sent") {
        m_ownSent.emplace_back(command.key, command.id);
        Bound(m_ownSent);
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

// The copies held here go; the copy still waiting to be run goes unrun, and one in hand as soon
// as it is held.
bool CommandLedger::Sent(const SentCommand& sent) {
    const CommandRef ref{sent.key, sent.id};
    const std::lock_guard lock(m_mutex);
    if (const auto own = std::ranges::find(m_ownSent, ref); own != m_ownSent.end()) {
        m_ownSent.erase(own);
        return false;
    }
    std::erase_if(m_commands, [&sent](const BrokerCommand& command) {
        return command.hold && command.key == sent.key && command.id == sent.id;
    });
    if (m_inHand.contains(ref)) {
        m_sentWhileInHand.insert(ref);
    }
    for (auto held = m_held.begin(); held != m_held.end();) {
        const bool same = held->second.key == sent.key && held->second.id == sent.id;
        if (same) {
            m_sentElsewhere.push_back(held->first);
        }
        held = same ? m_held.erase(held) : std::next(held);
    }
    return !m_sentElsewhere.empty();
}

}  // namespace tarnwick
