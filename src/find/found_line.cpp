#include "find/found_line.h"

#include <nlohmann/json.hpp>

#include "record/sender_text.h"

namespace tarnwick {
namespace {

constexpr std::string_view kHexMark = "hex:";

std::string RecordOf(const LogEntry& entry) {
    return entry.hex ? std::string(kHexMark) + entry.text : entry.text;
}

// The log is 8-bit text: each byte above ASCII is read as the Latin-1 character it codes.
std::string Utf8Of(const std::string& text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

// Quoted where it must be, as RFC 4180 has it.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

}  // namespace

std::string FoundHeader(FindFormat format) {
    return format == FindFormat::Csv ? "time,address,port,key,record\n" : "";
}

std::string FoundLine(FindFormat format, const LogEntry& entry, const std::string& key) {
    switch (format) {
        case FindFormat::Csv:
            return entry.time + "," + CsvField(entry.address) + "," + std::to_string(entry.port) +
                   "," + CsvField(key) + "," + CsvField(RecordOf(entry)) + "\n";
        case FindFormat::Jsonl: {
            const nlohmann::ordered_json line = {{"time", entry.time},
                                                 {"address", entry.address},
                                                 {"port", entry.port},
                                                 {"key", Utf8Of(key)},
                                                 {"record", Utf8Of(RecordOf(entry))}};
            return line.dump() + "\n";
        }
        case FindFormat::Text:
            break;
    }
    std::string line = entry.time + " ";
    AppendSender(line, entry.hex, entry.address, static_cast<std::uint16_t>(entry.port));
    return line + kSenderEnd + entry.text + "\n";
}

}  // namespace tarnwick
