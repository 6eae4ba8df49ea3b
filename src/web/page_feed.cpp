#include "web/page_feed.h"

#include <cstring>
#include <ctime>

#include "web/web_json.h"

namespace tarnwick {
namespace {

bool IsDeviceKind(DeviceEvent::Kind kind) {
    return kind == DeviceEvent::Kind::Silent || kind == DeviceEvent::Kind::Reporting ||
           kind == DeviceEvent::Kind::Forgotten;
}

nlohmann::json CommandEventJson(const DeviceEvent& event, std::time_t at) {
    nlohmann::json command{
        {"id", event.commandId},
        {"key", event.key},
        {"text", event.text},
        {"state", event.kind == DeviceEvent::Kind::Held ? std::string_view("waiting")
                                                        : DeviceEventWord(event.kind)},
        {"why", event.kind == DeviceEvent::Kind::SendFailed
                    ? "the socket refused it: " + std::string(std::strerror(event.errorCode))
                    : ""},
    };
    PutTime(command, "at", at);
    return command;
}

}  // namespace

void PageFeed::Records(std::span<const HandledRecord> records) {
    for (const HandledRecord& handled : records) {
        if (!handled.record) {
            continue;
        }
        const RecvHandOff& record = *handled.record;
        RecentRecord recent{
            0, DeviceKeyOf(m_rule, record.Body(), record.from.Text(), record.from.Port()),
            TimeText(record.receivedAt), record.text};
        recent.id = m_hub.Publish(
            "record",
            JsonText({{"time", recent.time}, {"key", recent.key}, {"line", recent.line}}));
        m_recent.Add(std::move(recent));
    }
}

void PageFeed::Events(const std::vector<DeviceEvent>& events) {
    const std::time_t now = std::time(nullptr);
    for (const DeviceEvent& event : events) {
        if (event.kind == DeviceEvent::Kind::Unreported) {
            continue;
        }
        if (IsDeviceKind(event.kind)) {
            m_hub.Publish("device",
                          JsonText({{"kind", DeviceEventWord(event.kind)}, {"key", event.key}}));
        } else {
            m_hub.Publish("command", JsonText(CommandEventJson(event, now)));
        }
    }
}

}  // namespace tarnwick
