#pragma once

// A whole day file read back entry by entry, plain or gzip-compressed, in bounded memory: the
// bytes go through the log's one reader (log_entries.h) a chunk at a time.

#include <cstdint>
#include <functional>
#include <string>

#include "log/log_entries.h"

namespace tarnwick {

struct FileRead {
    std::uint64_t passedOver = 0;  // lines and torn entries that were no log entry
    int error = 0;                 // errno, or EIO for an archive zlib cannot read to its end
};

using EntrySink = std::function<void(const LogEntry& entry)>;

[[nodiscard]] FileRead ReadLogFile(const std::string& path, bool compressed, const EntrySink& sink);

}  // namespace tarnwick
