#include "forward/broker_commands.h"

#include <string>
#include <vector>

#include "session/session.h"

namespace tarnwick {
namespace {

// The id the device table gave the command just held: the newest waiting one of its kind. Its
// later states (sent, expired, cancelled) come as device events under that id.
void NoteHeld(Session& session, Forwarder& forwarder, const BrokerCommand& command,
              const std::string& text) {
    const std::vector<HeldCommand> held = session.Devices().HeldCommands();
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
        if (it->key == command.key && it->text == text && it->state == HeldState::Waiting) {
            forwarder.NoteHeld(it->id, command);
            return;
        }
    }
}

}  // namespace

void RunBrokerCommands(Session& session, Forwarder& forwarder,
                       const std::function<void(const CommandReport&)>& report) {
    for (const BrokerCommand& command : forwarder.TakeCommands()) {
        const StdinCommand parsed = ParseStdinCommand(command.text);
        const CommandReport outcome =
            command.hold ? HoldCommand(session, command.key, parsed.bufferText, parsed.mode)
                         : SendToDevice(session, command.key, parsed.bufferText, parsed.mode);
        report(outcome);
        if (outcome.outcome == CommandOutcome::Held) {
            NoteHeld(session, forwarder, command, CommandText(parsed.bufferText, parsed.mode));
        }
        forwarder.Result(command, ResultState(outcome.outcome));
    }
}

}  // namespace tarnwick
