#include "web/web_json.h"

#include <cstring>

#include "log/time_text.h"

namespace tarnwick {

std::string TimeText(std::time_t t) {
    std::string text;
    if (t == 0) {
        return text;
    }
    if (const LocalTime local = LocalTimeOf(t)) {
        AppendDateTimeText(text, *local);
    }
    return text;
}

void PutTime(nlohmann::json& object, const std::string& name, std::time_t t) {
    object[name] = TimeText(t);
    object[name + "Epoch"] = static_cast<std::int64_t>(t);
}

nlohmann::json DeviceJson(const DeviceRow& row) {
    nlohmann::json device{
        {"key", row.key},
        {"address", row.client.addr.Text()},
        {"port", row.client.addr.Port()},
        {"records", row.records},
        {"resends", row.resends},
        {"latestRecord", row.latestRecord},
        {"commandsHeld", row.commandsHeld},
        {"commandsSent", row.commandsSent},
        {"latestCommand", row.latestCommand},
        {"silent", row.silent},
    };
    PutTime(device, "firstHeard", row.firstHeard);
    PutTime(device, "lastHeard", row.lastHeard);
    PutTime(device, "latestCommandAt", row.latestCommandAt);
    return device;
}

std::string_view HeldStateWord(HeldState state) {
    switch (state) {
        case HeldState::Waiting:
            return "waiting";
        case HeldState::Sent:
            return DeviceEventWord(DeviceEvent::Kind::Sent);
        case HeldState::Expired:
            return DeviceEventWord(DeviceEvent::Kind::Expired);
        case HeldState::Cancelled:
            return DeviceEventWord(DeviceEvent::Kind::Cancelled);
        case HeldState::SentElsewhere:
            return DeviceEventWord(DeviceEvent::Kind::SentElsewhere);
        case HeldState::NotSent:
            return DeviceEventWord(DeviceEvent::Kind::SendFailed);
    }
    return "";
}

nlohmann::json CommandJson(const HeldCommand& command) {
    nlohmann::json object{
        {"id", command.id},
        {"key", command.key},
        {"text", command.text},
        {"state", HeldStateWord(command.state)},
        {"why", command.state == HeldState::NotSent
                    ? "the socket refused it: " + std::string(std::strerror(command.errorCode))
                    : ""},
    };
    PutTime(object, "heldSince", command.heldSince);
    PutTime(object, "at", command.sentAt);
    return object;
}

std::string JsonText(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tarnwick
