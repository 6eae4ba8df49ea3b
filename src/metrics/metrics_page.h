#pragma once

// The session's figures in the Prometheus text format: one HELP and TYPE per family, every
// counter of the counters table under "tarnwick_" + its metric + "_total" (the drop reasons as
// one family, by reason), the device table's figures, and the log write histogram.

#include <string>

#include "session/counters.h"
#include "session/device_table.h"
#include "session/session.h"
#include "session/write_latency.h"

namespace tarnwick {

struct MetricsFigures {
    CounterSnapshot counters;
    DeviceCounts devices;
    WriteLatency::Snapshot logWrite;
};

// Any thread: reads atomics, and the device table under its lock.
[[nodiscard]] MetricsFigures FiguresOf(const Session& session);

[[nodiscard]] std::string MetricsPage(const MetricsFigures& figures);

}  // namespace tarnwick
