#include "net/engine_counters.h"

namespace tarnwick {

CounterSnapshot EngineCounters::Snapshot() const {
    using Live = std::atomic<std::uint64_t>;
    CounterSnapshot s;
    for (std::size_t i = 0; i < kCounterFields<std::uint64_t>.size(); ++i) {
        const Live& live = this->*(kCounterFields<Live>[i].member);
        s.*(kCounterFields<std::uint64_t>[i].member) = live.load(std::memory_order_relaxed);
    }
    return s;
}

std::uint64_t Dropped(const CounterSnapshot& c) {
    std::uint64_t sum = 0;
    for (const auto& field : kCounterFields<std::uint64_t>) {
        sum += field.dropReason ? c.*field.member : 0;
    }
    return sum;
}

std::string FormatCounters(const CounterSnapshot& c) {
    std::string line;
    bool inDrops = false;
    for (const auto& field : kCounterFields<std::uint64_t>) {
        if (field.dropReason != inDrops) {
            line += inDrops ? "), " : ", dropped " + std::to_string(Dropped(c)) + " (";
            inDrops = field.dropReason;
        } else if (!line.empty()) {
            line += ", ";
        }
        line += field.label;
        line += ' ';
        line += std::to_string(c.*field.member);
    }
    return line;
}

}  // namespace tarnwick
