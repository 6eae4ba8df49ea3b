#include "window/device_texts.h"

#include <array>

#include "log/time_text.h"
#include "record/control_escapes.h"

namespace tarnwick {
namespace {

constexpr const char* kCaption = "tarnwick";

std::string Plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string AgeText(std::time_t seconds) {
    struct Unit {
        std::time_t seconds;
        const char* name;
    };
    static constexpr std::array<Unit, 3> kUnits{{{86'400, "d"}, {3'600, "h"}, {60, "min"}}};
    for (const Unit& unit : kUnits) {
        if (seconds >= unit.seconds) {
            return std::to_string(seconds / unit.seconds) + " " + unit.name;
        }
    }
    return std::to_string(seconds > 0 ? seconds : 0) + " s";
}

std::string HeldStateText(const HeldCommand& command) {
    switch (command.state) {
        case HeldState::Waiting:
            return "waiting since " + ClockText(LocalTimeOf(command.heldSince));
        case HeldState::Sent:
            return "sent at " + ClockText(LocalTimeOf(command.sentAt));
        case HeldState::Expired:
            return "expired at " + ClockText(LocalTimeOf(command.sentAt));
        case HeldState::Cancelled:
            return "cancelled at " + ClockText(LocalTimeOf(command.sentAt));
        case HeldState::SentElsewhere:
            return "sent by another centre at " + ClockText(LocalTimeOf(command.sentAt));
        case HeldState::NotSent:
            return "not sent at " + ClockText(LocalTimeOf(command.sentAt));
    }
    return {};
}

OperatorMessage NoDeviceChosenNotice() {
    return {
        "A command held for the next report needs a chosen device: choose one in the "
        "Devices window (Ctrl+D).",
        kCaption, MessageIcon::Exclamation};
}

OperatorMessage DeviceForgottenNotice(const std::string& key) {
    return {"The device " + EscapeControlBytes(key) + " is no longer known. Nothing was held.",
            kCaption, MessageIcon::Exclamation};
}

OperatorMessage StillHeldNotice(std::size_t waiting, bool closing) {
    const std::string commands = Plural(waiting, "command", "commands");
    if (closing) {
        return {commands + " held for devices' next reports " + (waiting == 1 ? "waits" : "wait") +
                    " in the command journal for the next start.",
                kCaption, MessageIcon::Exclamation};
    }
    return {
        commands + " " + (waiting == 1 ? "is" : "are") + " still held for devices' next reports.",
        kCaption, MessageIcon::Exclamation};
}

}  // namespace tarnwick
