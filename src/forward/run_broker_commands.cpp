#include "forward/run_broker_commands.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "session/session.h"

namespace tarnwick {
namespace {

// The id the device table gave the command just held: the newest waiting one of its kind. Its
// later states (sent, expired, cancelled) come as device events under that id.
std::optional<std::uint64_t> HeldId(Session& session, const BrokerCommand& command,
                                    const std::string& text) {
    const std::vector<HeldCommand> held = session.Devices().HeldCommands();
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
        if (it->key == command.key && it->text == text && it->state == HeldState::Waiting) {
            return it->id;
        }
    }
    return std::nullopt;
}

}  // namespace

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
            outcome.outcome == CommandOutcome::Held
                ? HeldId(session, command, CommandText(parsed.bufferText, parsed.mode))
                : std::nullopt;
        forwarder.Ran(command, ResultState(outcome.outcome), heldId);
    }
    for (const std::uint64_t id : forwarder.TakeSentElsewhere()) {
        (void)session.Devices().SentElsewhere(id, session.Now());
    }
}

}  // namespace tarnwick
