#include "session/write_latency.h"

#include <algorithm>

namespace tarnwick {

void WriteLatency::Add(std::chrono::steady_clock::duration took) {
    const auto nanoseconds = std::max(std::chrono::nanoseconds(0),
                                      std::chrono::duration_cast<std::chrono::nanoseconds>(took));
    const auto bucket = std::ranges::find_if(
        kBounds, [nanoseconds](const LatencyBound& bound) { return nanoseconds <= bound.limit; });
    m_buckets[static_cast<std::size_t>(bucket - kBounds.begin())].fetch_add(
        1, std::memory_order_relaxed);
    m_sumNanoseconds.fetch_add(static_cast<std::uint64_t>(nanoseconds.count()),
                               std::memory_order_relaxed);
}

WriteLatency::Snapshot WriteLatency::Read() const {
    Snapshot snapshot;
    for (std::size_t i = 0; i < m_buckets.size(); ++i) {
        snapshot.buckets[i] = m_buckets[i].load(std::memory_order_relaxed);
    }
    snapshot.sumNanoseconds = m_sumNanoseconds.load(std::memory_order_relaxed);
    return snapshot;
}

}  // namespace tarnwick
