#pragma once

// The one line the headless centre prints for a device event (without the program's name).

#include <cstddef>
#include <string>

#include "session/device_table.h"

namespace tarnwick {

// "command 3 for KEY held: TEXT" (sent, expired, cancelled; "not sent: TEXT (why)"),
// "device KEY silent", "device KEY reporting again",
// "device KEY forgotten (the table holds at most N)"; the key's and the command's control
// bytes escaped (EscapeControlBytes).
[[nodiscard]] std::string DeviceEventText(const DeviceEvent& event, std::size_t maxDevices);

}  // namespace tarnwick
