#pragma once

// The newest entries of a day file, read back from its end a stretch at a time, so that a long
// day costs what is asked for, not what the day holds.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "log/log_entries.h"

namespace tarnwick {

// The entries of the plain day file at path from the first that recent is true for on, oldest
// first: at most most of them, the newest, and no more than the last 32 MiB hold. Nothing for
// a file that is not there or cannot be read.
[[nodiscard]] std::vector<LogEntry> RecentEntries(
    const std::string& path, const std::function<bool(const LogEntry&)>& recent, std::size_t most);

}  // namespace tarnwick
