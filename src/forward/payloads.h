#pragma once

// What the broker is sent: topics with the device key as one level, and JSON payloads with
// fixed field names, built from the log's own entries.

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

// PREFIX/status: {"state":"online"} and every counter under its name; {"state":"offline"} is
// the last will, and what a centre says as it stops.
// The log folder's size and free space join the counters once measured.
[[nodiscard]] std::string OnlinePayload(const CounterSnapshot& counters, const LogSpace& space);
inline constexpr std::string_view kOfflinePayload = R"({"state":"offline"})";

}  // namespace tarnwick
