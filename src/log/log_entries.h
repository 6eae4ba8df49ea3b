#pragma once

// The daily log's entries, written and read back: the one home of their format. An entry is a
// header line, "-->YYYY-MM-DD HH:MM:SS" and 40 '-', then the sender and its text: "ADDR (PORT):"
// and a record, or "ADDR  (PORT):" (two blanks) and hex text that runs over several lines.
// Every line ends in CR LF. Read back, an entry ends where the next header begins, or at the
// end of bytes that end a whole batch.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "log/time_text.h"

namespace tarnwick {

// The header line of an entry stamped t, without its line end; nothing without a time.
void AppendEntryHeader(std::string& out, const LocalTime& t);
// The same as a text of its own.
[[nodiscard]] std::string LogHeaderText(const LocalTime& t);
// One entry: the header (AppendEntryHeader's), its line end, text (the hand-off's sender,
// kSenderEnd and what it sent: record/sender_text.h) and its line end.
void AppendEntry(std::string& out, std::string_view header, std::string_view text);

struct LogEntry {
    std::string time;  // "YYYY-MM-DD HH:MM:SS", local time, as the header has it
    std::string address;
    int port = 0;
    bool hex = false;
    std::string text;         // after "ADDR (PORT):"; hex text without its line breaks
    std::uint64_t start = 0;  // the offset of its header in its file
    std::uint64_t end = 0;    // the offset just past the entry in its file
    bool operator==(const LogEntry&) const = default;
};

struct ParsedEntries {
    std::vector<LogEntry> entries;
    std::uint64_t used = 0;        // bytes taken: through the last entry, and what was passed over
    std::uint64_t skipped = 0;     // entries or bytes that were no whole entry (a cut or torn file)
    std::uint64_t passedOver = 0;  // how many stretches skipped counts: lines, torn entries
};

// bytes: the file from offset base on. atBatchEnd: nothing more of their batch follows them
// (read to the file's end under the log's lock), so their last entry is whole.
[[nodiscard]] ParsedEntries ParseLogEntries(std::string_view bytes, std::uint64_t base,
                                            bool atBatchEnd);

}  // namespace tarnwick
