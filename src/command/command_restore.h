#pragma once

// A start picks up the commands the last run left: each held command the journal leaves open is
// held again for what it has left of --hold-for, one whose time ran out while the centre was
// stopped is settled as expired, and one the centre stopped while sending is settled as unknown
// and never sent again. Each is said (DeviceEvent) and put on record; the settled ones make the
// devices' command histories.

#include <ctime>

#include "log/command_entry.h"

namespace tarnwick {

class Session;

// now, clockNow: the wall clock and the hold clock at the start.
void RestoreCommands(Session& session, std::time_t now, const HoldClock& clockNow);

}  // namespace tarnwick
