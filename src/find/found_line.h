#pragma once

// One found entry as --find prints it: the log's own header time, sender and text on one line,
// or the fields time, address, port, key and record as CSV or JSON Lines. A hex entry's record
// is "hex:" and its hex text.

#include <string>

#include "app/options.h"
#include "log/log_entries.h"

namespace tarnwick {

// The CSV's first line; empty for the other formats.
[[nodiscard]] std::string FoundHeader(FindFormat format);

// The entry's line, with its line end.
[[nodiscard]] std::string FoundLine(FindFormat format, const LogEntry& entry,
                                    const std::string& key);

}  // namespace tarnwick
