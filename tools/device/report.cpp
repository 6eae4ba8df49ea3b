#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tarnwick::device {

std::string FormatCommandLine(std::string_view from, std::span<const std::uint8_t> bytes) {
    std::string line = "command from " + std::string(from) + ": ";
    for (const std::uint8_t byte : bytes) {
        if (byte >= 0x20 && byte <= 0x7E) {
            line += static_cast<char>(byte);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
            line += escaped;
        }
    }
    return line;
}

std::uint64_t MissingReplies(const PeerStats& stats) {
    return stats.records > stats.replies ? stats.records - stats.replies : 0;
}

std::string FormatReport(const PeerStats& stats) {
    const double seconds = std::chrono::duration<double>(stats.elapsed).count();
    const long long perSecond =
        seconds > 0 ? std::llround(static_cast<double>(stats.sent) / seconds) : 0;
    char line[200];
    std::snprintf(line, sizeof line,
                  "sent %llu, replies %llu, missing %llu, commands %llu, seconds %.3f, "
                  "records/s %lld",
                  static_cast<unsigned long long>(stats.sent),
                  static_cast<unsigned long long>(stats.replies),
                  static_cast<unsigned long long>(MissingReplies(stats)),
                  static_cast<unsigned long long>(stats.commands), seconds, perSecond);
    std::string report = line;
    if (!stats.latencies.empty()) {
        std::vector<std::uint32_t> sorted = stats.latencies;
        std::sort(sorted.begin(), sorted.end());
        const auto at = [&](double share) {
            return sorted[static_cast<std::size_t>(share * static_cast<double>(sorted.size() - 1))];
        };
        std::snprintf(line, sizeof line, ", latency ms p50 %.3f p99 %.3f", at(0.5) / 1000.0,
                      at(0.99) / 1000.0);
        report += line;
    }
    return report;
}

}  // namespace tarnwick::device
