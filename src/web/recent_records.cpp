#include "web/recent_records.h"

namespace tarnwick {

void RecentRecords::Add(RecentRecord record) {
    std::lock_guard lock(m_mutex);
    m_records.push_back(std::move(record));
    if (m_records.size() > kKept) {
        m_records.pop_front();
    }
}

std::vector<RecentRecord> RecentRecords::Of(const std::string& key) const {
    std::lock_guard lock(m_mutex);
    std::vector<RecentRecord> found;
    for (auto record = m_records.rbegin(); record != m_records.rend() && found.size() < kShown;
         ++record) {
        if (record->key == key) {
            found.push_back(*record);
        }
    }
    return found;
}

}  // namespace tarnwick
