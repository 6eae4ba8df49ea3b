#include "centre/device_event_text.h"

#include <cstring>

#include "record/control_escapes.h"

namespace tarnwick {

std::string DeviceEventText(const DeviceEvent& event, std::size_t maxDevices) {
    const std::string word(DeviceEventWord(event.kind));
    // Keys and commands come from records and the broker: one event stays one plain line.
    const std::string key = EscapeControlBytes(event.key);
    const std::string text = EscapeControlBytes(event.text);
    switch (event.kind) {
        case DeviceEvent::Kind::Silent:
        case DeviceEvent::Kind::Reporting:
            return "device " + key + " " + word;
        case DeviceEvent::Kind::Forgotten:
            return "device " + key + " " + word + " (the table holds at most " +
                   std::to_string(maxDevices) + ")";
        case DeviceEvent::Kind::Unreported:
            return std::to_string(event.commandId) + " device events " + word +
                   ": standard error not read";
        case DeviceEvent::Kind::SendFailed:
            return "command " + std::to_string(event.commandId) + " for " + key + " " + word +
                   ": " + text + " (" + std::strerror(event.errorCode) + ")";
        case DeviceEvent::Kind::Held:
        case DeviceEvent::Kind::Sent:
        case DeviceEvent::Kind::Expired:
        case DeviceEvent::Kind::Cancelled:
        case DeviceEvent::Kind::SentElsewhere:
        case DeviceEvent::Kind::Restored:
        case DeviceEvent::Kind::Unknown:
            break;
    }
    return "command " + std::to_string(event.commandId) + " for " + key + " " + word + ": " + text;
}

bool IsCommandEvent(DeviceEvent::Kind kind) {
    switch (kind) {
        case DeviceEvent::Kind::Silent:
        case DeviceEvent::Kind::Reporting:
        case DeviceEvent::Kind::Forgotten:
        case DeviceEvent::Kind::Unreported:
            return false;
        default:
            return true;
    }
}

}  // namespace tarnwick
