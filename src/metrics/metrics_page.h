#pragma once

// The session's figures in the Prometheus text format: one HELP and TYPE per family, every
// counter of the counters table under "tarnwick_" + its metric + "_total" (the drop reasons as
// one family, by reason), the device table's figures, the log write histogram, and the log
// folder's size and free space once measured, and forwarding's backlog with a broker.

#include <optional>
#include <string>

#include "log/log_space.h"
#include "session/counters.h"
#include "session/device_table.h"
#include "session/session.h"
#include "session/write_latency.h"

namespace tarnwick {

// Records logged and not yet acknowledged by the broker, and how long ago the last acknowledged
// one was logged.
struct BacklogFigures {
    std::uint64_t records = 0;
    std::uint64_t seconds = 0;
};

struct MetricsFigures {
    CounterSnapshot counters;
    DeviceCounts devices;
    WriteLatency::Snapshot logWrite;
    LogSpace logSpace;                         // the log folder's, as last measured
    std::optional<BacklogFigures> forwarding;  // nothing without a broker
};

// Any thread: reads atomics, and the device table under its lock.
[[nodiscard]] MetricsFigures FiguresOf(const Session& session);

[[nodiscard]] std::string MetricsPage(const MetricsFigures& figures);

}  // namespace tarnwick
