#pragma once

// The front end's side of the commands that come through the broker: each is run on the front
// end's own thread, which drives the session, as a typed one would be, and what becomes of it
// goes back to the broker.

#include <functional>

#include "command/command_composer.h"
#include "forward/forwarder.h"

namespace tarnwick {

class Session;

// Runs every command the forwarder has taken in since the last call; report is given each
// outcome, for the operator. One of several centres holds for devices not heard yet. Then drops
// the held copies another centre has delivered.
void RunBrokerCommands(Session& session, Forwarder& forwarder,
                       const std::function<void(const CommandReport&)>& report);

}  // namespace tarnwick
