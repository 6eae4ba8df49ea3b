#pragma once

// What the device prints: one line per command from the centre, and the closing report.

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::device {

struct PeerStats {
    std::uint64_t sent = 0;
    std::uint64_t records = 0;  // of the datagrams sent, those the centre answers
    std::uint64_t replies = 0;
    std::uint64_t commands = 0;
    // From the first send to the last send or the last reply awaited, whichever came later.
    std::chrono::nanoseconds elapsed{0};
    // Record sent to its reply received, in microseconds, one per reply.
    std::vector<std::uint32_t> latencies;
};

// "command from ADDR:PORT: " and the bytes, printable ASCII as is and any other byte as \xHH.
[[nodiscard]] std::string FormatCommandLine(std::string_view from,
                                            std::span<const std::uint8_t> bytes);

// The records sent that heard no reply.
[[nodiscard]] std::uint64_t MissingReplies(const PeerStats& stats);

// "sent N, replies M, missing K, commands C, seconds T, records/s R", then, when replies
// came, ", latency ms p50 A p99 B"; N and R count every datagram sent.
[[nodiscard]] std::string FormatReport(const PeerStats& stats);

}  // namespace tarnwick::device
