#pragma once

// What a window's repaint times say, given how busy its main thread was meanwhile. Times are
// milliseconds of CLOCK_MONOTONIC cut to 32 bits, the clock an X server stamps its events with.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// A window must repaint at least this often while it has records to show.
constexpr std::uint32_t kFreezeMs = 100;

// How long a thread had been on a CPU or waiting for one, at a moment.
struct BusySample {
    std::uint32_t at;
    std::uint64_t busyNs;
};

// Milliseconds from origin to t; negative before it.
inline std::int32_t Since(std::uint32_t origin, std::uint32_t t) {
    return static_cast<std::int32_t>(t - origin);
}

// The busy time at t, read between the samples around it (samples in time order).
inline double BusyNsAt(const std::vector<BusySample>& samples, std::uint32_t t) {
    const auto after = std::find_if(samples.begin(), samples.end(),
                                    [t](const BusySample& s) { return Since(t, s.at) >= 0; });
    if (after == samples.end()) {
        return samples.empty() ? 0.0 : static_cast<double>(samples.back().busyNs);
    }
    if (after == samples.begin()) {
        return static_cast<double>(after->busyNs);
    }
    const BusySample& before = *(after - 1);
    const double share = Since(before.at, t) / static_cast<double>(Since(before.at, after->at));
    return static_cast<double>(before.busyNs) +
           share * static_cast<double>(after->busyNs - before.busyNs);
}

// stamps: when watching began, every repaint, when it ended. A gap over kFreezeMs counts as a
// freeze when the thread was busy for at least half of it; an idle window has nothing to show.
inline std::string Summarize(const std::vector<std::uint32_t>& stamps,
                             const std::vector<BusySample>& samples) {
    const auto busyMs = [&samples](std::uint32_t from, std::uint32_t to) {
        return (BusyNsAt(samples, to) - BusyNsAt(samples, from)) / 1e6;
    };
    std::uint32_t longest = 0;
    std::uint32_t longestFreeze = 0;
    unsigned freezes = 0;
    unsigned idle = 0;
    for (std::size_t i = 1; i < stamps.size(); ++i) {
        const std::uint32_t gap = stamps[i] - stamps[i - 1];
        longest = std::max(longest, gap);
        if (gap > kFreezeMs && 2 * busyMs(stamps[i - 1], stamps[i]) >= gap) {
            ++freezes;
            longestFreeze = std::max(longestFreeze, gap);
        } else if (gap > kFreezeMs) {
            ++idle;
        }
    }
    const std::uint32_t span = stamps.empty() ? 0 : stamps.back() - stamps.front();
    const std::size_t repaints = stamps.size() < 2 ? 0 : stamps.size() - 2;
    char line[300];
    std::snprintf(line, sizeof line,
                  "repaints %zu in %.1f s, mean gap %.0f ms, longest gap %u ms; gaps over %u ms: "
                  "%u while busy (longest %u ms), %u while idle; main thread busy %.0f %%",
                  repaints, span / 1000.0, span / static_cast<double>(repaints + 1), longest,
                  kFreezeMs, freezes, longestFreeze, idle,
                  span > 0 ? 100 * busyMs(stamps.front(), stamps.back()) / span : 0.0);
    return line;
}

}  // namespace bench
