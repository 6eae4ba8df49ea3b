#include "forward/backlog_count.h"

#include <algorithm>
#include <limits>

namespace tarnwick {

// The forwarder's own cursor reports what it passes over; this one says nothing.
BacklogCount::BacklogCount(const std::string& folder)
    : m_cursor(folder, {}, [](std::string_view) {}) {}

void BacklogCount::Restart(const LogPosition& acked) {
    m_cursor.Seek(acked);
    m_started = true;
    m_counted = 0;
    m_acked = 0;
    m_firstCounted.clear();
}

void BacklogCount::CountNew() {
    for (;;) {
        const CursorBatch batch = m_cursor.Next(std::numeric_limits<std::size_t>::max());
        if (batch.entries.empty()) {
            return;
        }
        const auto first = std::ranges::find(batch.entries, false, &LogEntry::hex);
        if (m_firstCounted.empty() && first != batch.entries.end()) {
            m_firstCounted = first->time;
        }
        m_counted +=
            static_cast<std::uint64_t>(std::ranges::count(batch.entries, false, &LogEntry::hex));
    }
}

std::uint64_t BacklogCount::Behind() const {
    return m_counted > m_acked ? m_counted - m_acked : 0;
}

}  // namespace tarnwick
