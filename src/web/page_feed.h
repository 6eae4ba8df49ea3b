#pragma once

// What the centre tells the operator page as it happens: the records as they are logged and the
// device table's events, published once into the event ring, and the newest records kept for
// the devices' views. The front end's thread publishes; the web threads read.

#include <cstdint>
#include <span>
#include <vector>

#include "record/handled_record.h"
#include "session/device_key.h"
#include "session/device_table.h"
#include "web/event_hub.h"
#include "web/recent_records.h"

namespace tarnwick {

class PageFeed {
public:
    PageFeed(DeviceKeyRule rule, std::uint64_t firstId) : m_rule(std::move(rule)), m_hub(firstId) {}

    // "record" events: {"time", "key", "line"}.
    void Records(std::span<const HandledRecord> records);
    // "device" events ({"kind": "silent" | "reporting again" | "forgotten", "key"}) and
    // "command" events (COMMAND, its state as the event says it).
    void Events(const std::vector<DeviceEvent>& events);

    [[nodiscard]] EventHub& Hub() { return m_hub; }
    [[nodiscard]] const RecentRecords& Recent() const { return m_recent; }

private:
    DeviceKeyRule m_rule;
    EventHub m_hub;
    RecentRecords m_recent;
};

}  // namespace tarnwick
