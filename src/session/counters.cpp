#include "session/counters.h"

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

std::string GroupedDigits(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return grouped;
}

std::string FormatCounters(const CounterSnapshot& c, CounterForm form) {
    const bool brief = form == CounterForm::Brief;
    const auto number = [brief](std::uint64_t n) {
        return brief ? GroupedDigits(n) : std::to_string(n);
    };
    std::string line;
    bool inDrops = false;
    for (const auto& field : kCounterFields<std::uint64_t>) {
        const bool opensDrops = field.dropReason && !inDrops;
        if (opensDrops) {
            line += ", dropped " + number(Dropped(c)) + (brief ? "" : " (");
        } else if (inDrops && !field.dropReason && !brief) {
            line += ')';
        }
        inDrops = field.dropReason;
        if (brief && !field.brief) {
            continue;
        }
        if (!line.empty() && !opensDrops) {
            line += ", ";
        }
        line += std::string(field.label) + ' ' + number(c.*field.member);
    }
    return line;
}

}  // namespace tarnwick
