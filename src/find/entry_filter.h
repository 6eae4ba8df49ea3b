#pragma once

// Which logged entries --find prints: by time, device key (the centre's rule) and text. A hex
// entry is the datagram that followed a record from the same sender, and goes with it.

#include <optional>
#include <string>
#include <unordered_map>

#include "log/log_entries.h"
#include "session/device_key.h"

namespace tarnwick {

struct FindQuery {
    std::optional<std::string> from;  // "YYYY-MM-DD HH:MM:SS": entries from then on
    std::optional<std::string> to;    // and before then
    std::optional<std::string> device;
    std::optional<std::string> grep;
    DeviceKeyRule keyRule;
};

class EntryFilter {
public:
    explicit EntryFilter(FindQuery query) : m_query(std::move(query)) {}

    // The entry's device key when it is to be printed; nothing otherwise. Entries come in the
    // log's order.
    [[nodiscard]] std::optional<std::string> Match(const LogEntry& entry);
    // Whether a day ("YYYY-MM-DD") can hold an entry in the query's time.
    [[nodiscard]] bool DayInTime(const std::string& day) const;

private:
    [[nodiscard]] bool InTime(const std::string& time) const;

    FindQuery m_query;
    // By sender: the key of its latest record when that record was printed.
    std::unordered_map<std::string, std::optional<std::string>> m_lastRecord;
};

}  // namespace tarnwick
