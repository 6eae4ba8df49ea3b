#include "find/entry_filter.h"

namespace tarnwick {
namespace {

constexpr std::size_t kDayLength = 10;  // "YYYY-MM-DD"

std::string SenderOf(const LogEntry& entry) {
    return entry.address + " " + std::to_string(entry.port);
}

}  // namespace

std::optional<std::string> EntryFilter::Match(const LogEntry& entry) {
    const std::string sender = SenderOf(entry);
    if (entry.hex) {
        const auto record = m_lastRecord.find(sender);
        if (record == m_lastRecord.end()) {
            // Its record is not in the files read: it goes by its time alone, if anything.
            const bool alone = !m_query.device && !m_query.grep && InTime(entry.time);
            return alone
                       ? std::optional(DeviceKeyOf(m_query.keyRule, "", entry.address, entry.port))
                       : std::nullopt;
        }
        std::optional<std::string> key = std::move(record->second);
        m_lastRecord.erase(record);
        return key;
    }
    std::string key = DeviceKeyOf(m_query.keyRule, entry.text, entry.address, entry.port);
    const bool matched = InTime(entry.time) && (!m_query.device || key == *m_query.device) &&
                         (!m_query.grep || entry.text.find(*m_query.grep) != std::string::npos);
    std::optional<std::string> taken = matched ? std::optional(std::move(key)) : std::nullopt;
    m_lastRecord[sender] = taken;
    return taken;
}

bool EntryFilter::DayInTime(const std::string& day) const {
    return (!m_query.from || day >= m_query.from->substr(0, kDayLength)) &&
           (!m_query.to || day <= m_query.to->substr(0, kDayLength));
}

bool EntryFilter::InTime(const std::string& time) const {
    return (!m_query.from || time >= *m_query.from) && (!m_query.to || time < *m_query.to);
}

}  // namespace tarnwick
