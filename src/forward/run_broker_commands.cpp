#include "forward/run_broker_commands.h"

#include <cstdint>
#include <optional>

#include "session/session.h"

namespace tarnwick {

void RunBrokerCommands(Session& session, Forwarder& forwarder,
                       const std::function<void(const CommandReport&)>& report) {
    const HoldFor holdFor = forwarder.OneOfSeveral() ? HoldFor::AnyKey : HoldFor::HeardDevices;
    for (const BrokerCommand& command : forwarder.TakeCommands()) {
        const CommandBody parsed = ParseCommandBody(command.text);
        const CommandReport outcome =
            command.hold
                ? HoldCommand(session, command.key, parsed.bufferText, parsed.mode, holdFor)
                : SendToDevice(session, command.key, parsed.bufferText, parsed.mode);
        report(outcome);
        const std::optional<std::uint64_t> heldId =
            outcome.outcome == CommandOutcome::Held ? std::optional(outcome.heldId) : std::nullopt;
        forwarder.Ran(command, ResultState(outcome.outcome), heldId);
    }
    for (const std::uint64_t id : forwarder.TakeSentElsewhere()) {
        (void)session.Devices().SentElsewhere(id, session.Now());
    }
}

}  // namespace tarnwick
