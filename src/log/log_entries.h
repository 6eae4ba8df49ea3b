#pragma once

// The daily log read back: its whole entries, each a header line ("-->YYYY-MM-DD HH:MM:SS" and
// 40 '-') and the text "ADDR (PORT):record", or "ADDR  (PORT):" and hex text that runs over
// several lines. An entry ends where the next header begins, or at the end of bytes that end a
// whole batch.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

struct LogEntry {
    std::string time;  // "YYYY-MM-DD HH:MM:SS", local time, as the header has it
    std::string address;
    int port = 0;
    bool hex = false;
    std::string text;       // after "ADDR (PORT):"; hex text without its line breaks
    std::uint64_t end = 0;  // the offset just past the entry in its file
    bool operator==(const LogEntry&) const = default;
};

struct ParsedEntries {
    std::vector<LogEntry> entries;
    std::uint64_t used = 0;     // bytes taken, through the last entry's end
    std::uint64_t skipped = 0;  // entries or bytes that were no whole entry (a cut or torn file)
};

// bytes: the file from offset base on. atBatchEnd: nothing more of their batch follows them
// (read to the file's end under the log's lock), so their last entry is whole.
[[nodiscard]] ParsedEntries ParseLogEntries(std::string_view bytes, std::uint64_t base,
                                            bool atBatchEnd);

}  // namespace tarnwick
