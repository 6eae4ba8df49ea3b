#pragma once

// The one line a centre prints on standard error for a device event (without the program's
// name): the headless centre for every event, the window for the commands'.

#include <cstddef>
#include <string>

#include "session/device_table.h"

namespace tarnwick {

// "command 3 for KEY held: TEXT" (sent, expired, cancelled; "not sent: TEXT (why)"),
// "device KEY silent", "device KEY reporting again",
// "device KEY forgotten (the table holds at most N)"; the key's and the command's control
// bytes escaped (EscapeControlBytes).
[[nodiscard]] std::string DeviceEventText(const DeviceEvent& event, std::size_t maxDevices);

// True for what became of a command (held, sent, restored, ...), false for a device's news.
[[nodiscard]] bool IsCommandEvent(DeviceEvent::Kind kind);

}  // namespace tarnwick
