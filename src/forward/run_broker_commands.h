#pragma once

// The front end's side of the commands that come through the broker: each is run on the front
// end's own thread, which drives the session, as a typed one would be, and what becomes of it
// goes back to the broker. A flood of them never keeps that thread from the records: each turn
// runs commands for a few milliseconds at most.

#include <chrono>
#include <functional>

#include "command/command_composer.h"
#include "forward/forwarder.h"

namespace tarnwick {

class Session;

inline constexpr auto kBrokerCommandsTurn = std::chrono::milliseconds(2);

// Runs the commands the forwarder has taken in, for one turn; report is given each outcome,
// for the operator. A hold waits for devices not heard yet too. Then drops the
// held copies another centre has delivered. True when commands are left for the next turn.
// brokerUrl: the broker, for the journal's source.
[[nodiscard]] bool RunBrokerCommands(Session& session, Forwarder& forwarder,
                                     std::string_view brokerUrl,
                                     const std::function<void(const CommandReport&)>& report);

}  // namespace tarnwick
