#pragma once

// Nothing is dropped uncounted: every datagram read lands in exactly one of received's parts
// (records, hex, or a drop reason), and every record handed over is either logged or missed.

#include <atomic>
#include <cstdint>
#include <string>

namespace tarnwick {

struct CounterSnapshot {
    std::uint64_t received = 0;            // datagrams read from the socket
    std::uint64_t records = 0;             // accepted device records with a valid code field
    std::uint64_t hex = 0;                 // datagrams shown in hex after a record
    std::uint64_t droppedInvalidCode = 0;  // accepted records whose code field is not 3 digits
    std::uint64_t droppedIgnored = 0;      // device records whose fourth character is ':'
    std::uint64_t droppedNotRecord = 0;    // anything else that is not shown
    std::uint64_t droppedEmpty = 0;        // zero-byte datagrams
    std::uint64_t droppedTooLong = 0;      // datagrams over 4,096 bytes
    std::uint64_t replies = 0;             // "@517" replies sent
    std::uint64_t logged = 0;              // entries written to the log
    std::uint64_t logMissed = 0;           // hand-offs that could not be logged
    std::uint64_t kernelDrops = 0;         // datagrams the kernel dropped for a full buffer

    [[nodiscard]] std::uint64_t Dropped() const {
        return droppedInvalidCode + droppedIgnored + droppedNotRecord + droppedEmpty +
               droppedTooLong;
    }
    bool operator==(const CounterSnapshot&) const = default;
};

// "received R, records N, hex H, dropped D (invalid code a, ignored b, not records c, empty d,
//  too long e), replies P, logged L, missed log M, kernel drops K"
[[nodiscard]] std::string FormatCounters(const CounterSnapshot& c);

class EngineCounters {
public:
    using Counter = std::atomic<std::uint64_t>;

    Counter received{0};
    Counter records{0};
    Counter hex{0};
    Counter droppedInvalidCode{0};
    Counter droppedIgnored{0};
    Counter droppedNotRecord{0};
    Counter droppedEmpty{0};
    Counter droppedTooLong{0};
    Counter replies{0};
    Counter logged{0};
    Counter logMissed{0};
    Counter kernelDrops{0};

    [[nodiscard]] CounterSnapshot Snapshot() const;
};

// Counters are written by one thread each; relaxed increments are enough to be exact.
inline void Bump(EngineCounters::Counter& counter, std::uint64_t by = 1) {
    counter.fetch_add(by, std::memory_order_relaxed);
}

}  // namespace tarnwick
