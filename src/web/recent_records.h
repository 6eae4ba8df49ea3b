#pragma once

// The newest records the operator page has been sent, for one device's view: a bounded ring
// across all devices, so a device's recent records cost nothing per device kept.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace tarnwick {

struct RecentRecord {
    std::uint64_t id = 0;  // its event's id
    std::string key;
    std::string time;  // as the log writes it
    std::string line;  // as the log writes it: sender, ':' and the record
    bool operator==(const RecentRecord&) const = default;
};

class RecentRecords {
public:
    static constexpr std::size_t kKept = 10'000;
    static constexpr std::size_t kShown = 50;

    void Add(RecentRecord record);
    // key's, newest first, kShown at most.
    [[nodiscard]] std::vector<RecentRecord> Of(const std::string& key) const;

private:
    mutable std::mutex m_mutex;
    std::deque<RecentRecord> m_records;
};

}  // namespace tarnwick
