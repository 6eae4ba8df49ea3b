#include "forward/run_broker_commands.h"

#include <cstdint>
#include <optional>

#include "session/session.h"

namespace tarnwick {
namespace {

// Taken from the forwarder at once: a few, so the turn's end is looked at often.
constexpr std::size_t kCommandsTaken = 16;

void Run(Session& session, Forwarder& forwarder, const BrokerCommand& command,
         const std::function<void(const CommandReport&)>& report) {
    const HoldFor holdFor = forwarder.OneOfSeveral() ? HoldFor::AnyKey : HoldFor::HeardDevices;
    const CommandBody parsed = ParseCommandBody(command.text);
    const CommandReport outcome =
        command.hold ? HoldCommand(session, command.key, parsed.bufferText, parsed.mode, holdFor)
                     : SendToDevice(session, command.key, parsed.bufferText, parsed.mode);
    report(outcome);
    const std::optional<std::uint64_t> heldId =
        outcome.outcome == CommandOutcome::Held ? std::optional(outcome.heldId) : std::nullopt;
    forwarder.Ran(command, ResultState(outcome.outcome), heldId);
}

}  // namespace

bool RunBrokerCommands(Session& session, Forwarder& forwarder,
                       const std::function<void(const CommandReport&)>& report) {
    const auto turnEnds = std::chrono::steady_clock::now() + kBrokerCommandsTurn;
    while (std::chrono::steady_clock::now() < turnEnds) {
        const std::vector<BrokerCommand> commands = forwarder.TakeCommands(kCommandsTaken);
        if (commands.empty()) {
            break;
        }
        for (const BrokerCommand& command : commands) {
            Run(session, forwarder, command, report);
        }
    }
    for (const std::uint64_t id : forwarder.TakeSentElsewhere()) {
        (void)session.Devices().SentElsewhere(id, session.Now());
    }
    return forwarder.MoreCommands();
}

}  // namespace tarnwick
