#pragma once

// What the broker is sent: topics with the device key as one level, and JSON payloads with
// fixed field names, built from the log's own entries.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "log/log_entries.h"
#include "log/log_space.h"
#include "session/counters.h"
#include "session/device_table.h"

namespace tarnwick {

// The key as one topic level: '/', '+', '#', '%', every byte below 0x21 and from 0x7F on
// written as "%XX".
[[nodiscard]] std::string TopicKey(std::string_view key);

// A wall-clock time as ISO 8601 local time with its UTC offset.
[[nodiscard]] std::string IsoOf(std::time_t at);

// "YYYY-MM-DD HH:MM:SS" local time as ISO 8601 with its UTC offset:
// "YYYY-MM-DDTHH:MM:SS+HH:MM"; the text unchanged when it is no such time.
[[nodiscard]] std::string IsoLocalTime(std::string_view logTime);

// PREFIX/record/KEY: {"key","address","port","time","record","code"}, and "resent": true for a
// resend (resend_window.h); a payload without it is no resend.
[[nodiscard]] std::string RecordPayload(const LogEntry& entry, std::string_view key,
                                        bool resent = false);
// PREFIX/hex/KEY: {"address","port","time","hex"}, the hex bytes one blank apart.
[[nodiscard]] std::string HexPayload(const LogEntry& entry);

// PREFIX/device/KEY: {"key","address","port","first heard","last heard","records","silent"}.
[[nodiscard]] std::string DevicePayload(const DeviceRow& device);

// How forwarding stands, for PREFIX/status.
struct ForwardState {
    std::uint64_t backlogRecords = 0;  // logged and not yet acknowledged
    std::uint64_t backlogSeconds = 0;  // how long ago the last acknowledged record was logged
    std::string positionError;         // why the position cannot be saved; empty: it is
    std::uint64_t sentAgainAtRestart = 0;
};

// PREFIX/status: {"state":"online"}, every counter under its name, then "backlog records",
// "backlog seconds" and "position": "saved", or "not saved: REASON" with "sent again at a
// restart", and the log folder's size and free space once measured; {"state":"offline"} is the
// last will, and what a centre says as it stops.
[[nodiscard]] std::string OnlinePayload(const CounterSnapshot& counters,
                                        const ForwardState& forward, const LogSpace& space);
inline constexpr std::string_view kOfflinePayload = R"({"state":"offline"})";

}  // namespace tarnwick
