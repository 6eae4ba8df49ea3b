#include "metrics/metrics_page.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace tarnwick {
namespace {

void Family(std::string& page, const std::string& name, std::string_view type,
            std::string_view help) {
    page += "# HELP " + name + " " + std::string(help) + "\n";
    page += "# TYPE " + name + " " + std::string(type) + "\n";
}

void Sample(std::string& page, const std::string& name, std::uint64_t value) {
    page += name + " " + std::to_string(value) + "\n";
}

// "invalid code" as "invalid_code".
std::string LabelValue(std::string_view label) {
    std::string value(label);
    for (char& c : value) {
        c = c == ' ' ? '_' : c;
    }
    return value;
}

void Counters(std::string& page, const CounterSnapshot& counters) {
    std::string_view previous;
    for (const auto& field : kCounterFields<std::uint64_t>) {
        const std::string name = "tarnwick_" + std::string(field.metric) + "_total";
        if (field.metric != previous) {
            Family(page, name, "counter",
                   field.dropReason ? "Datagrams dropped, by reason, as the stop line counts them."
                                    : "The stop line's \"" + std::string(field.label) + "\".");
        }
        previous = field.metric;
        const std::string labels =
            field.dropReason ? "{reason=\"" + LabelValue(field.label) + "\"}" : "";
        Sample(page, name + labels, counters.*field.member);
    }
}

void Devices(std::string& page, const DeviceCounts& devices) {
    Family(page, "tarnwick_devices", "gauge", "Devices in the device table.");
    Sample(page, "tarnwick_devices", devices.devices);
    Family(page, "tarnwick_devices_silent", "gauge",
           "Devices unheard for longer than --silent-after.");
    Sample(page, "tarnwick_devices_silent", devices.silent);
    Family(page, "tarnwick_commands_held", "gauge",
           "Commands waiting for their device's next record.");
    Sample(page, "tarnwick_commands_held", devices.held);
    Family(page, "tarnwick_commands_sent_total", "counter", "Commands sent to devices.");
    Sample(page, "tarnwick_commands_sent_total", devices.commandsSent);
}

// Whole nanoseconds as seconds, exactly: "1.500000000".
std::string Seconds(std::uint64_t nanoseconds) {
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%09llu",
                  static_cast<unsigned long long>(nanoseconds % 1'000'000'000));
    return std::to_string(nanoseconds / 1'000'000'000) + fraction;
}

void LogWrite(std::string& page, const WriteLatency::Snapshot& latency) {
    const std::string name = "tarnwick_log_write_seconds";
    Family(page, name, "histogram", "Time from a record's arrival to its written log entry.");
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < WriteLatency::kBounds.size(); ++i) {
        cumulative += latency.buckets[i];
        Sample(page, name + "_bucket{le=\"" + std::string(WriteLatency::kBounds[i].seconds) + "\"}",
               cumulative);
    }
    cumulative += latency.buckets.back();
    Sample(page, name + "_bucket{le=\"+Inf\"}", cumulative);
    page += name + "_sum " + Seconds(latency.sumNanoseconds) + "\n";
    Sample(page, name + "_count", cumulative);
}

void Space(std::string& page, const LogSpace& space) {
    if (!space.measured) {
        return;
    }
    Family(page, "tarnwick_log_bytes", "gauge",
           "Bytes in the log folder: day files, year folders, archives.");
    Sample(page, "tarnwick_log_bytes", space.folderBytes);
    Family(page, "tarnwick_log_free_bytes", "gauge", "Bytes free for the log on its file system.");
    Sample(page, "tarnwick_log_free_bytes", space.freeBytes);
}

void Forwarding(std::string& page, const std::optional<BacklogFigures>& backlog) {
    if (!backlog) {
        return;
    }
    Family(page, "tarnwick_forward_backlog_records", "gauge",
           "Records logged and not yet acknowledged by the broker.");
    Sample(page, "tarnwick_forward_backlog_records", backlog->records);
    Family(page, "tarnwick_forward_backlog_seconds", "gauge",
           "How long ago the last record the broker acknowledged was logged, while records wait.");
    Sample(page, "tarnwick_forward_backlog_seconds", backlog->seconds);
}

}  // namespace

MetricsFigures FiguresOf(const Session& session) {
    return {session.Counters(), session.Devices().Counts(session.Now()), session.LogWriteLatency(),
            LogSpace{}, std::nullopt};
}

std::string MetricsPage(const MetricsFigures& figures) {
    std::string page;
    Counters(page, figures.counters);
    Devices(page, figures.devices);
    LogWrite(page, figures.logWrite);
    Space(page, figures.logSpace);
    Forwarding(page, figures.forwarding);
    return page;
}

}  // namespace tarnwick
