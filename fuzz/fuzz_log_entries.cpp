// Any bytes read as a daily log: the reader never reads outside them, and every entry it takes
// ends within them, after the one before. Bytes it takes whole as entries are a log, and the
// log's own writer writes those entries back as the same bytes, the line breaks inside an
// entry's text aside (the reader joins its lines).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "log/log_entries.h"
#include "record/sender_text.h"

namespace {

constexpr std::uint64_t kBase = 1'000;  // where the bytes stand in their file
constexpr std::string_view kLineEnd = "\r\n";

void Require(bool holds) {
    if (!holds) {
        __builtin_trap();
    }
}

void RequireEndsWithin(const tarnwick::ParsedEntries& parsed, std::size_t size) {
    Require(parsed.used <= size);
    std::uint64_t last = kBase;
    for (const tarnwick::LogEntry& entry : parsed.entries) {
        Require(entry.end > last && entry.end <= kBase + parsed.used);
        last = entry.end;
    }
}

// "YYYY-MM-DD HH:MM:SS" as the clock would have given it.
tarnwick::LocalTime TimeOf(const std::string& text) {
    std::tm t{};
    Require(std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &t.tm_year, &t.tm_mon, &t.tm_mday,
                        &t.tm_hour, &t.tm_min, &t.tm_sec) == 6);
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return t;
}

std::string Written(const tarnwick::LogEntry& entry) {
    std::string header;
    tarnwick::AppendEntryHeader(header, TimeOf(entry.time));
    std::string text;
    tarnwick::AppendSender(text, entry.hex, entry.address, static_cast<std::uint16_t>(entry.port));
    text += tarnwick::kSenderEnd;
    text += entry.text;
    std::string written;
    tarnwick::AppendEntry(written, header, text);
    return written;
}

// An entry as read, its text on one line: the header line, then its lines joined.
std::string Joined(std::string_view entry) {
    const std::size_t headerEnd = entry.find(kLineEnd) + kLineEnd.size();
    std::string joined(entry.substr(0, headerEnd));
    std::string_view lines = entry.substr(headerEnd);
    for (std::size_t end = lines.find(kLineEnd); end != std::string_view::npos;
         end = lines.find(kLineEnd)) {
        joined += lines.substr(0, end);
        lines.remove_prefix(end + kLineEnd.size());
    }
    Require(lines.empty());
    return joined + std::string(kLineEnd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    RequireEndsWithin(tarnwick::ParseLogEntries(bytes, kBase, false), size);
    const tarnwick::ParsedEntries parsed = tarnwick::ParseLogEntries(bytes, kBase, true);
    RequireEndsWithin(parsed, size);

    if (parsed.skipped > 0 || parsed.used != size) {
        return 0;
    }
    std::uint64_t start = kBase;
    for (const tarnwick::LogEntry& entry : parsed.entries) {
        Require(Written(entry) == Joined(bytes.substr(start - kBase, entry.end - start)));
        start = entry.end;
    }
    return 0;
}
