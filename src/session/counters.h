#pragma once

// Nothing is dropped uncounted: every datagram read lands in exactly one of received's parts
// (records, hex, or a drop reason), and every record and hex record taken in is either logged
// or not logged. A record is answered only when it was logged.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "session/write_latency.h"

namespace tarnwick {

// One set of the centre's counters: plain numbers (a snapshot) or the live atomic ones.
template <typename Number>
struct CounterSet {
    Number received{};            // datagrams read from the socket
    Number records{};             // accepted device records with a valid code field
    Number resent{};              // logged records equal to one of their device's, lately
    Number hex{};                 // datagrams shown in hex after a record
    Number droppedInvalidCode{};  // accepted records whose code field is not 3 digits
    Number droppedIgnored{};      // device records whose fourth character is ':'
    Number droppedNotRecord{};    // anything else that is not shown
    Number droppedEmpty{};        // zero-byte datagrams
    Number droppedTooLong{};      // datagrams over 4,096 bytes
    Number replies{};             // "@517" replies sent
    Number logged{};              // entries written to the log
    Number notLogged{};           // records and hex records whose entry could not be written
    Number notAnswered{};         // records owed "@517" but not answered: not logged
    Number kernelDrops{};         // datagrams the kernel dropped for a full buffer

    bool operator==(const CounterSet&) const = default;
};

using CounterSnapshot = CounterSet<std::uint64_t>;

// Every counter, once: its name wherever counters are shown and where it lives. Drop reasons
// are shown inside "dropped D (...)"; the brief form (the window's strip) shows their sum alone
// and leaves out what is not `brief`.
template <typename Number>
struct CounterField {
    std::string_view label;
    // Its metric, as "tarnwick_" + metric + "_total"; the drop reasons share one, each under
    // its label.
    std::string_view metric;
    Number CounterSet<Number>::*member;
    bool dropReason = false;
    bool brief = true;
};

template <typename Number>
inline constexpr std::array<CounterField<Number>, 14> kCounterFields = {{
    {"received", "datagrams_received", &CounterSet<Number>::received},
    {"records", "records", &CounterSet<Number>::records},
    {"resent", "records_resent", &CounterSet<Number>::resent},
    {"hex", "hex_records", &CounterSet<Number>::hex, false, false},
    {"invalid code", "dropped", &CounterSet<Number>::droppedInvalidCode, true, false},
    {"ignored", "dropped", &CounterSet<Number>::droppedIgnored, true, false},
    {"not records", "dropped", &CounterSet<Number>::droppedNotRecord, true, false},
    {"empty", "dropped", &CounterSet<Number>::droppedEmpty, true, false},
    {"too long", "dropped", &CounterSet<Number>::droppedTooLong, true, false},
    {"replies", "replies", &CounterSet<Number>::replies},
    {"logged", "log_entries", &CounterSet<Number>::logged},
    {"not logged", "log_entries_failed", &CounterSet<Number>::notLogged},
    {"not answered: not logged", "records_not_answered", &CounterSet<Number>::notAnswered},
    {"kernel drops", "kernel_drops", &CounterSet<Number>::kernelDrops},
}};

// The sum of the drop reasons.
[[nodiscard]] std::uint64_t Dropped(const CounterSnapshot& c);

enum class CounterForm {
    Line,   // the stop line: every counter, plain digits
    Brief,  // the window's strip: drop reasons as their sum, digits grouped by thousands
};

// Line: "received R, records N, resent S, hex H, dropped D (invalid code a, ignored b,
//  not records c, empty d, too long e), replies P, logged L, not logged M, not answered: not
//  logged X, kernel drops K"
// Brief: "received R, records N, resent S, dropped D, replies P, logged L, not logged M, not
//  answered: not logged X, kernel drops K", each figure as "1,234,567"
[[nodiscard]] std::string FormatCounters(const CounterSnapshot& c,
                                         CounterForm form = CounterForm::Line);

// 1234567 as "1,234,567".
[[nodiscard]] std::string GroupedDigits(std::uint64_t value);

class EngineCounters : public CounterSet<std::atomic<std::uint64_t>> {
public:
    using Counter = std::atomic<std::uint64_t>;
    [[nodiscard]] CounterSnapshot Snapshot() const;

    WriteLatency logWrite;  // from each record's arrival to its written entry
};

// Each counter is written by one thread at a time; relaxed increments are enough to be exact.
inline void Bump(EngineCounters::Counter& counter, std::uint64_t by = 1) {
    counter.fetch_add(by, std::memory_order_relaxed);
}

}  // namespace tarnwick
