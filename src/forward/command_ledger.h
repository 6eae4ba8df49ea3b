#pragma once

// What became of each command that came through the broker: taken in on the forwarder's thread,
// run on the front end's, and every outcome queued to go back as a result. Of several centres
// on one broker each may hold a copy of a hold; the first to deliver it says "sent", and the
// others drop theirs, silently for the broker. A centre's own "sent", handed back by the broker,
// drops nothing. Safe from any thread: it has its own lock, held for its own bookkeeping only.
//
// An id is one command: a command whose key and id were taken in within the hold time is
// answered with the first one's state and not run again, whether a publisher sent it twice or
// the broker handed it over again, in this run or, remembered from the command journal, the
// last (recalled_commands.h). Every step costs the same however many commands wait.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "forward/command_messages.h"

namespace tarnwick {

// A result for PREFIX/command-result/LEVEL.
struct CommandResult {
    std::string level;  // the key as the topic writes it
    std::string payload;
    bool operator==(const CommandResult&) const = default;
};

class CommandLedger {
public:
    using Clock = std::chrono::steady_clock;

    // Results kept while the broker is away; the oldest go first beyond them, and as many of
    // this centre's own "sent" are remembered until the broker hands them back.
    static constexpr std::size_t kMostResults = 10'000;
    // Commands whose ids are remembered at most, within the hold time: a flood of new ids
    // forgets the oldest first.
    static constexpr std::size_t kMostIds = 200'000;

    explicit CommandLedger(std::chrono::seconds holdFor = std::chrono::hours(24))
        : m_holdFor(holdFor) {}

    // The forwarder's thread: a command from the broker, at a wall-clock and a steady time.
    // True when it is the first to wait for TakeCommands or TakeRefused, which take the rest
    // with them (the front end is to be woken); a refused or repeated one is answered at once.
    bool TakeIn(BrokerCommand command, std::time_t at, Clock::time_point now);
    // At a start, before anything is taken in: a command a past run took in at since (on the
    // steady clock), whose repeats are answered with state and not run; heldId: the device
    // table's id while it waits there again, 0 once settled. sentElsewhere: another centre
    // delivered it.
    void Remember(const BrokerCommand& command, std::string state, std::uint64_t heldId,
                  bool sentElsewhere, Clock::time_point since);
    // The forwarder's thread: some centre reported sent; true when a held copy waits for
    // TakeSentElsewhere.
    [[nodiscard]] bool Sent(const SentCommand& sent, Clock::time_point now);
    // The forwarder's thread: the results to publish, oldest first.
    [[nodiscard]] std::deque<CommandResult> TakeResults();
    // Those of TakeResults that were not published, to go out before any queued since.
    void ReturnResults(std::deque<CommandResult> unpublished);

    // The front end's thread: at most most of the commands to run, oldest first; More tells
    // whether others wait.
    [[nodiscard]] std::vector<BrokerCommand> TakeCommands(std::size_t most = SIZE_MAX);
    [[nodiscard]] bool More();
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
    // The front end's thread: the commands refused on arrival, to go on record; at most
    // kMostRefusedKept wait, a flood's rest being answered on the broker alone.
    static constexpr std::size_t kMostRefusedKept = 4096;
    [[nodiscard]] std::vector<BrokerCommand> TakeRefused();

private:
    // One command, by its key and id, for as long as its id is remembered.
    struct Known {
        BrokerCommand command;
        std::string state;            // empty until it has run
        std::uint64_t heldId = 0;     // while it waits in the device table here
        bool sentElsewhere = false;   // another centre delivered it: not to be run or kept here
        std::size_t answersOwed = 0;  // repeats taken in before it had run
        Clock::time_point since{};
    };

    void Forget(Clock::time_point now);
    Known& Note(const std::string& ref, const BrokerCommand& command, Clock::time_point now);
    void Result(const BrokerCommand& command, std::string_view state, std::time_t at);

    const std::chrono::seconds m_holdFor;
    std::mutex m_mutex;                              // guards every member below
    std::unordered_map<std::string, Known> m_known;  // by RefOf(key, id)
    std::deque<std::string> m_knownOrder;            // oldest first
    std::deque<std::string> m_commands;              // taken in, not yet run
    // Held here, by the device table's id: their later states go back even once forgotten.
    std::unordered_map<std::uint64_t, BrokerCommand> m_held;
    std::vector<std::uint64_t> m_sentElsewhere;
    std::vector<BrokerCommand> m_refused;
    // This centre's own "sent" results, until the broker hands them back.
    std::unordered_multiset<std::string> m_ownSent;
    std::deque<std::string> m_ownSentOrder;
    std::deque<CommandResult> m_results;
};

}  // namespace tarnwick
