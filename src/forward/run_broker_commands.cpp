#include "forward/run_broker_commands.h"

#include <cstdint>
#include <optional>

#include "session/session.h"

namespace tarnwick {
namespace {

// Taken from the forwarder at once: a few, so the turn's end is looked at often.
constexpr std::size_t kCommandsTaken = 16;

void Run(Session& session, Forwarder& forwarder, const BrokerCommand& command,
         std::string_view brokerUrl, const std::function<void(const CommandReport&)>& report) {
    // A hold waits for its key whether the device has reported since the start or not: the
    // broker hands over what was published while the centre was away as soon as it is back,
    // before the devices report again.
    constexpr HoldFor holdFor = HoldFor::AnyKey;
    const CommandBody parsed = ParseCommandBody(command.text);
    const std::string source = FromBroker(brokerUrl, command.id);
    // A command meant for now never leaves late.
    if (const std::time_t now = session.Now().wall; command.expires && now > *command.expires) {
        session.Devices().CommandSettled(command.key, command.text, source,
                                         std::string(command_state::kExpired), now);
        forwarder.Ran(command, command_state::kExpired, std::nullopt);
        return;
    }
    const CommandReport outcome =
        command.hold
            ? HoldCommand(session, command.key, parsed.bufferText, parsed.mode, holdFor, source)
            : SendToDevice(session, command.key, parsed.bufferText, parsed.mode, source);
    report(outcome);
    const std::optional<std::uint64_t> heldId =
        outcome.outcome == CommandOutcome::Held ? std::optional(outcome.heldId) : std::nullopt;
    forwarder.Ran(command, ResultState(outcome.outcome), heldId);
}

}  // namespace

bool RunBrokerCommands(Session& session, Forwarder& forwarder, std::string_view brokerUrl,
                       const std::function<void(const CommandReport&)>& report) {
    const auto turnEnds = std::chrono::steady_clock::now() + kBrokerCommandsTurn;
    while (std::chrono::steady_clock::now() < turnEnds) {
        const std::vector<BrokerCommand> commands = forwarder.TakeCommands(kCommandsTaken);
        if (commands.empty()) {
            break;
        }
        for (const BrokerCommand& command : commands) {
            Run(session, forwarder, command, brokerUrl, report);
        }
    }
    // Refused on arrival, and answered so on the broker already: on record too.
    for (const BrokerCommand& command : forwarder.TakeRefused()) {
        session.Devices().CommandSettled(
            command.key, command.text, FromBroker(brokerUrl, command.id),
            std::string(command_state::kRefused) + ": " + std::string(command.refused),
            session.Now().wall);
    }
    for (const std::uint64_t id : forwarder.TakeSentElsewhere()) {
        (void)session.Devices().SentElsewhere(id, session.Now());
    }
    return forwarder.MoreCommands();
}

}  // namespace tarnwick
