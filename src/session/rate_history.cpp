#include "session/rate_history.h"

#include <algorithm>

namespace tarnwick {

void RateHistory::Sample(std::chrono::steady_clock::time_point at, std::uint64_t records,
                         std::uint64_t dropped) {
    std::lock_guard lock(m_guard);
    if (!m_last) {
        m_last = Totals{at, records, dropped};
        return;
    }
    const auto seconds = std::chrono::floor<std::chrono::seconds>(at - m_last->at).count();
    if (seconds < 1) {
        return;
    }
    const auto count = static_cast<std::uint64_t>(seconds);
    const std::uint64_t newRecords = records - m_last->records;
    const std::uint64_t newDropped = dropped - m_last->dropped;
    // Older seconds than the ring holds would be pushed out at once: only the last kSeconds.
    for (std::uint64_t i = count - std::min<std::uint64_t>(count, kSeconds); i < count; ++i) {
        // Each second its share, the remainder in the latest, so the points sum to the totals.
        const bool latest = i + 1 == count;
        Push({newRecords / count + (latest ? newRecords % count : 0),
              newDropped / count + (latest ? newDropped % count : 0)});
    }
    // The next point's second starts where this one's ended, so a late wake-up drifts nothing.
    m_last = Totals{m_last->at + std::chrono::seconds(seconds), records, dropped};
}

void RateHistory::Push(RatePoint point) {
    m_ring[m_next] = point;
    m_next = (m_next + 1) % kSeconds;
    m_count = std::min(m_count + 1, kSeconds);
}

std::vector<RatePoint> RateHistory::Points() const {
    std::lock_guard lock(m_guard);
    std::vector<RatePoint> points;
    points.reserve(m_count);
    const std::size_t first = (m_next + kSeconds - m_count) % kSeconds;
    for (std::size_t i = 0; i < m_count; ++i) {
        points.push_back(m_ring[(first + i) % kSeconds]);
    }
    return points;
}

}  // namespace tarnwick
