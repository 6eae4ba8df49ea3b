#pragma once

// The device table as another program reads it: CSV after RFC 4180 (lines end in CR LF, a
// field holding a comma, a quote or a line break is quoted, its quotes doubled), one header
// row, then one row per device. New columns go at the end, so readers of the old ones work on.

#include <ctime>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "log/time_text.h"
#include "session/device_table.h"

namespace tarnwick {

inline constexpr std::string_view kDevicesCsvHeader =
    "key,address,port,first heard,last heard,records,latest record,commands held,"
    "commands sent,silent,latest command,latest command sent,resends\r\n";

// The field as CSV writes it.
[[nodiscard]] std::string CsvField(std::string_view text);

// The table, times as local "YYYY-MM-DD HH:MM:SS" (empty when a time cannot be converted);
// localTime is injected so a test does not depend on the machine's time zone.
[[nodiscard]] std::string DevicesCsv(
    std::span<const DeviceRow> rows,
    const std::function<LocalTime(std::time_t)>& localTime = LocalTimeOf);

}  // namespace tarnwick
