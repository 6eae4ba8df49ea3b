#pragma once

// Records and drops a second over the last ten minutes, for a chart: one thread samples the
// counters about once a second on the steady clock, any thread reads a copy under a short lock.
// A sample late by several seconds spreads what it counted evenly over the seconds it missed,
// so a stalled sampler shows a flat stretch rather than one false peak.

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace tarnwick {

struct RatePoint {
    std::uint64_t records = 0;  // records accepted in that second
    std::uint64_t dropped = 0;  // datagrams dropped in that second, the kernel's drops too
    bool operator==(const RatePoint&) const = default;
};

class RateHistory {
public:
    static constexpr std::size_t kSeconds = 600;

    // The sampler's thread: the counters' totals as of at. The first sample only sets where
    // counting starts; each later one adds a point for every whole second since the last point.
    void Sample(std::chrono::steady_clock::time_point at, std::uint64_t records,
                std::uint64_t dropped);
    // Any thread: at most kSeconds points, one a second, the oldest first.
    [[nodiscard]] std::vector<RatePoint> Points() const;

private:
    struct Totals {
        std::chrono::steady_clock::time_point at;
        std::uint64_t records = 0;
        std::uint64_t dropped = 0;
    };
    void Push(RatePoint point);

    mutable std::mutex m_guard;
    std::optional<Totals> m_last;  // the counters at the last point's end
    std::array<RatePoint, kSeconds> m_ring{};
    std::size_t m_next = 0;   // where the next point goes
    std::size_t m_count = 0;  // points held, up to kSeconds
};

}  // namespace tarnwick
