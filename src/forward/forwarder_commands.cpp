#include "forward/forwarder.h"

// The forwarder's side of the commands that come through the broker: taken in on its thread,
// run on the front end's, and every outcome published back.

#include <algorithm>
#include <ctime>
#include <utility>

#include "forward/payloads.h"

namespace tarnwick {
namespace {

// Results kept while the broker is away; the oldest go first beyond them.
constexpr std::size_t kMostResults = 10'000;

}  // namespace

std::vector<BrokerCommand> Forwarder::TakeCommands() {
    const std::lock_guard lock(m_mutex);
    for (const BrokerCommand& command : m_commands) {
        if (command.hold) {
            m_inHand.emplace(command.key, command.id);
        }
    }
    return std::exchange(m_commands, {});
}

void Forwarder::Ran(const BrokerCommand& command, std::string_view state,
                    std::optional<std::uint64_t> heldId) {
    {
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
    }
    Result(command, state);
}

std::vector<std::uint64_t> Forwarder::TakeSentElsewhere() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_sentElsewhere, {});
}

void Forwarder::Result(const BrokerCommand& command, std::string_view state) {
    {
        const std::lock_guard lock(m_mutex);
        m_results.emplace_back(m_settings.topic + "/command-result/" + TopicKey(command.key),
                               CommandResultPayload(command, state, std::time(nullptr)));
        if (m_results.size() > kMostResults) {
            m_results.pop_front();
        }
        if (state == "sent") {
            m_ownSent.emplace_back(command.key, command.id);
            if (m_ownSent.size() > kMostResults) {
                m_ownSent.pop_front();
            }
        }
    }
    m_changed.notify_one();
}

// Another centre delivered a command: the copies held here go, silently for the broker (one
// "sent" is the answer), and the front end reports them dropped. This centre's own "sent",
// handed back by the broker, drops nothing.
void Forwarder::SentElsewhere(const SentCommand& sent) {
    const CommandRef ref{sent.key, sent.id};
    {
        const std::lock_guard lock(m_mutex);
        if (const auto own = std::ranges::find(m_ownSent, ref); own != m_ownSent.end()) {
            m_ownSent.erase(own);
            return;
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
        if (m_sentElsewhere.empty()) {
            return;
        }
    }
    m_wake();
}

void Forwarder::DeviceEvents(const std::vector<DeviceEvent>& events) {
    for (const DeviceEvent& event : events) {
        if (event.kind == DeviceEvent::Kind::Silent || event.kind == DeviceEvent::Kind::Reporting) {
            const std::lock_guard lock(m_mutex);
            m_devicesDue.insert(event.key);
            continue;
        }
        const bool settled = event.kind == DeviceEvent::Kind::Sent ||
                             event.kind == DeviceEvent::Kind::Expired ||
                             event.kind == DeviceEvent::Kind::Cancelled;
        std::optional<BrokerCommand> command;
        {
            const std::lock_guard lock(m_mutex);
            const auto held = m_held.find(event.commandId);
            if (!settled || held == m_held.end()) {
                continue;
            }
            command = std::move(held->second);
            m_held.erase(held);
        }
        Result(*command, DeviceEventWord(event.kind));
    }
}

// The library's messages become commands for the front end: the session is driven there.
void Forwarder::Received(const LinkEvent& event) {
    if (const auto sent = SentCommandOf(m_settings.topic, event.text, event.payload)) {
        SentElsewhere(*sent);
        return;
    }
    std::optional<BrokerCommand> command = CommandOf(m_settings.topic, event.text, event.payload);
    if (!command) {
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_commands.push_back(std::move(*command));
    }
    m_wake();
}

void Forwarder::PublishResults() {
    std::deque<std::pair<std::string, std::string>> results;
    {
        const std::lock_guard lock(m_mutex);
        results.swap(m_results);
    }
    for (const auto& [topic, payload] : results) {
        int mid = 0;
        if (!m_connection->Publish(topic, payload, false, mid)) {
            Fail("publish refused");
            return;
        }
    }
}

}  // namespace tarnwick
