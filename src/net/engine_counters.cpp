#include "net/engine_counters.h"

namespace tarnwick {

CounterSnapshot EngineCounters::Snapshot() const {
    constexpr auto relaxed = std::memory_order_relaxed;
    CounterSnapshot s;
    s.received = received.load(relaxed);
    s.records = records.load(relaxed);
    s.hex = hex.load(relaxed);
    s.droppedInvalidCode = droppedInvalidCode.load(relaxed);
    s.droppedIgnored = droppedIgnored.load(relaxed);
    s.droppedNotRecord = droppedNotRecord.load(relaxed);
    s.droppedEmpty = droppedEmpty.load(relaxed);
    s.droppedTooLong = droppedTooLong.load(relaxed);
    s.replies = replies.load(relaxed);
    s.logged = logged.load(relaxed);
    s.logMissed = logMissed.load(relaxed);
    s.kernelDrops = kernelDrops.load(relaxed);
    return s;
}

std::string FormatCounters(const CounterSnapshot& c) {
    using std::to_string;
    return "received " + to_string(c.received) + ", records " + to_string(c.records) + ", hex " +
           to_string(c.hex) + ", dropped " + to_string(c.Dropped()) + " (invalid code " +
           to_string(c.droppedInvalidCode) + ", ignored " + to_string(c.droppedIgnored) +
           ", not records " + to_string(c.droppedNotRecord) + ", empty " +
           to_string(c.droppedEmpty) + ", too long " + to_string(c.droppedTooLong) +
           "), replies " + to_string(c.replies) + ", logged " + to_string(c.logged) +
           ", missed log " + to_string(c.logMissed) + ", kernel drops " +
           to_string(c.kernelDrops);
}

}  // namespace tarnwick
