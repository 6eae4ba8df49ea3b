#pragma once

// A start remembers the broker's commands of the last run from the command journal, so that one
// the broker hands over again (a QoS 1 message whose acknowledgement the stop cut off, kept for
// the centre's persistent session) is answered with what became of it and never sent twice. A
// command still held is the ledger's again: its later states go back to the broker.

#include "forward/command_ledger.h"
#include "forward/forward_settings.h"
#include "session/moment.h"

namespace tarnwick {

// The journal's lines from the broker of settings within its hold time, as of now. A refused
// command never left: it is not remembered, and runs afresh if handed over again.
void RecallBrokerCommands(CommandLedger& ledger, const ForwardSettings& settings,
                          const Moment& now);

}  // namespace tarnwick
