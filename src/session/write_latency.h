#pragma once

// How long records took from their arrival to their written log entry, as a histogram with
// fixed bounds: the log stage adds to it without a lock, anyone reads it.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string_view>

namespace tarnwick {

struct LatencyBound {
    std::string_view seconds;  // as a scrape shows it
    std::chrono::nanoseconds limit;
};

class WriteLatency {
public:
    // Each bucket takes what is no longer than its bound; the last, implicit one the rest.
    static constexpr std::array<LatencyBound, 14> kBounds = {{
        {"0.0001", std::chrono::microseconds(100)},
        {"0.00025", std::chrono::microseconds(250)},
        {"0.0005", std::chrono::microseconds(500)},
        {"0.001", std::chrono::milliseconds(1)},
        {"0.0025", std::chrono::microseconds(2500)},
        {"0.005", std::chrono::milliseconds(5)},
        {"0.01", std::chrono::milliseconds(10)},
        {"0.025", std::chrono::milliseconds(25)},
        {"0.05", std::chrono::milliseconds(50)},
        {"0.1", std::chrono::milliseconds(100)},
        {"0.25", std::chrono::milliseconds(250)},
        {"1", std::chrono::seconds(1)},
        {"5", std::chrono::seconds(5)},
        {"30", std::chrono::seconds(30)},
    }};

    struct Snapshot {
        std::array<std::uint64_t, kBounds.size() + 1> buckets{};  // not cumulative
        std::uint64_t sumNanoseconds = 0;
        bool operator==(const Snapshot&) const = default;
    };

    // The log stage's thread alone.
    void Add(std::chrono::steady_clock::duration took);
    [[nodiscard]] Snapshot Read() const;

private:
    std::array<std::atomic<std::uint64_t>, kBounds.size() + 1> m_buckets{};
    std::atomic<std::uint64_t> m_sumNanoseconds{0};
};

}  // namespace tarnwick
