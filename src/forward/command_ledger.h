#pragma once

// What became of each command that came through the broker: taken in on the forwarder's thread,
// run on the front end's, and every outcome queued to go back as a result. Of several centres
// on one broker each may hold a copy of a hold; the first to deliver it says "sent", and the
// others drop theirs, silently for the broker. A centre's own "sent", handed back by the broker,
// drops nothing. Safe from any thread: it has its own lock, held for its own bookkeeping only.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "forward/command_messages.h"

namespace tarnwick {

// A result for PREFIX/command-result/KEY.
struct CommandResult {
    std::string key;
    std::string payload;
    bool operator==(const CommandResult&) const = default;
};

class CommandLedger {
public:
    // Results kept while the broker is away; the oldest go first beyond them, and as many of
    // this centre's own "sent" are remembered until the broker hands them back.
    static constexpr std::size_t kMostResults = 10'000;

    // The forwarder's thread: a command from the broker, for TakeCommands.
    void TakeIn(BrokerCommand command);
    // The forwarder's thread: some centre reported sent; true when held copies wait for
    // TakeSentElsewhere.
    [[nodiscard]] bool Sent(const SentCommand& sent);
    // The forwarder's thread: the results to publish, oldest first.
    [[nodiscard]] std::deque<CommandResult> TakeResults();
    // Those of TakeResults that were not published, to go out before any queued since.
    void ReturnResults(std::deque<CommandResult> unpublished);

    // The front end's thread: the commands to run. A hold is in hand until Ran.
    [[nodiscard]] std::vector<BrokerCommand> TakeCommands();
    // What became of one of them (ResultState), at a wall-clock time; heldId: the device
    // table's id when it was held.
    void Ran(const BrokerCommand& command, std::string_view state,
             std::optional<std::uint64_t> heldId, std::time_t at);
    // The device table settled a held command (sent, expired, cancelled); false when it is no
    // command of the broker's.
    bool Settled(std::uint64_t heldId, std::string_view state, std::time_t at);
    // The front end's thread: held commands (the device table's ids) that another centre has
    // delivered, to be dropped there.
    [[nodiscard]] std::vector<std::uint64_t> TakeSentElsewhere();

private:
    using CommandRef = std::pair<std::string, std::string>;  // key and id

    void Result(const BrokerCommand& command, std::string_view state, std::time_t at);

    std::mutex m_mutex;                                       // guards every member below
    std::vector<BrokerCommand> m_commands;                    // taken in, not yet run
    std::unordered_map<std::uint64_t, BrokerCommand> m_held;  // by the device table's id
    // Holds the front end has taken and not yet said what became of: another centre's "sent"
    // for one of them drops it as soon as it is held.
    std::multiset<CommandRef> m_inHand;
    std::set<CommandRef> m_sentWhileInHand;
    std::vector<std::uint64_t> m_sentElsewhere;
    // This centre's own "sent" results, until the broker hands them back.
    std::deque<CommandRef> m_ownSent;
    std::deque<CommandResult> m_results;
};

}  // namespace tarnwick
