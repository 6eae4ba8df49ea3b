#pragma once

// The texts the Devices window and the main window show about devices and held commands.

#include <cstddef>
#include <ctime>
#include <string>

#include "command/operator_message.h"
#include "session/device_table.h"

namespace tarnwick {

// How long ago, in the largest whole unit that fits: "12 s", "3 min", "2 h", "4 d". A time
// in the future (the clock was set back) reads "0 s".
[[nodiscard]] std::string AgeText(std::time_t seconds);

// A held command's state as the list shows it: "waiting since ...", "sent at ...", "expired at
// ...", "cancelled at ...".
[[nodiscard]] std::string HeldStateText(const HeldCommand& command);

// SEND with "Send at next report" ticked and no device chosen.
[[nodiscard]] OperatorMessage NoDeviceChosenNotice();
// The chosen device was forgotten since it was chosen: nothing was held.
[[nodiscard]] OperatorMessage DeviceForgottenNotice(const std::string& key);
// Commands still waiting when the listener closes (they stay held) or the window closes
// (the command journal keeps them for the next start); waiting is at least 1.
[[nodiscard]] OperatorMessage StillHeldNotice(std::size_t waiting, bool closing);

}  // namespace tarnwick
