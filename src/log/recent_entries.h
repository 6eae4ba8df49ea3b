#pragma once

// The newest entries of a day file, read back from its end a stretch at a time, so that a long
// day costs what is asked for, not what the day holds.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "log/log_entries.h"

namespace tarnwick {

// The entries of the plain day file at path from the first that recent is true for on, oldest
// first, up to byte end (an entry's end, or past the file's): at most most of them, the newest,
// and no more than the 32 MiB before end hold. Nothing for a file that is not there or cannot
// be read.
[[nodiscard]] std::vector<LogEntry> RecentEntries(
    const std::string& path, const std::function<bool(const LogEntry&)>& recent, std::size_t most,
    std::uint64_t end = std::numeric_limits<std::uint64_t>::max());

}  // namespace tarnwick
