#include "log/log_entries.h"

#include <charconv>
#include <optional>

namespace tarnwick {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeaderStart = "-->";
constexpr std::string_view kTimeShape = "dddd-dd-dd dd:dd:dd";  // d: a digit
constexpr std::size_t kDashes = 40;
constexpr std::size_t kHeaderLength = kHeaderStart.size() + kTimeShape.size() + kDashes;
constexpr std::string_view kPortOpen = " (";      // "ADDR (PORT)"
constexpr std::string_view kHexPortOpen = "  (";  // "ADDR  (PORT)"
constexpr char kPortClose = ')';
constexpr std::size_t kPortDigits = 5;  // "65535"

bool IsDigitAt(std::string_view text, std::size_t at) {
    return text[at] >= '0' && text[at] <= '9';
}

// "-->" + "YYYY-MM-DD HH:MM:SS" + 40 '-', judged by its shape.
bool IsHeader(std::string_view line) {
    if (line.size() != kHeaderLength || !line.starts_with(kHeaderStart)) {
        return false;
    }
    const std::string_view time = line.substr(kHeaderStart.size(), kTimeShape.size());
    for (std::size_t i = 0; i < kTimeShape.size(); ++i) {
        if (kTimeShape[i] == 'd' ? !IsDigitAt(time, i) : time[i] != kTimeShape[i]) {
            return false;
        }
    }
    return line.substr(kHeaderStart.size() + kTimeShape.size()).find_first_not_of('-') ==
           std::string_view::npos;
}

// A line that ends in a header: an entry torn by a killed writer, and the next one appended
// right after it. A record never ends in dashes (it ends in '#'), nor hex text.
bool EndsInHeader(std::string_view line) {
    return line.size() > kHeaderLength && IsHeader(line.substr(line.size() - kHeaderLength));
}

// The port as AppendEntrySender writes it: digits of a port, no sign, no leading zero.
std::optional<std::uint16_t> PortOf(std::string_view digits) {
    if (digits.size() > 1 && digits.front() == '0') {
        return std::nullopt;
    }
    std::uint16_t port = 0;
    const char* last = digits.data() + digits.size();
    const auto [end, error] = std::from_chars(digits.data(), last, port);
    return error == std::errc() && end == last ? std::optional(port) : std::nullopt;
}

// "ADDR (PORT):" or, for hex, "ADDR  (PORT):", then the text.
std::optional<LogEntry> EntryOf(std::string_view header, std::string_view body) {
    const std::size_t open = body.find(kPortOpen);
    if (open == 0 || open == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t digits = open + kPortOpen.size();
    const std::size_t close = body.find(kPortClose, digits);
    const std::size_t text = close + 2;  // past the parenthesis and kSenderEnd
    if (close == std::string_view::npos || text > body.size() || body[close + 1] != kSenderEnd) {
        return std::nullopt;
    }
    const std::optional<std::uint16_t> port = PortOf(body.substr(digits, close - digits));
    const bool hex = body.substr(open - 1).starts_with(kHexPortOpen);
    const std::size_t addressLength = hex ? open - 1 : open;
    if (!port || addressLength == 0) {
        return std::nullopt;
    }
    return LogEntry{.time = std::string(header.substr(kHeaderStart.size(), kTimeShape.size())),
                    .address = std::string(body.substr(0, addressLength)),
                    .port = *port,
                    .hex = hex,
                    .text = std::string(body.substr(text)),
                    .end = 0};
}

class Parser {
public:
    Parser(std::string_view bytes, std::uint64_t base) : m_bytes(bytes), m_base(base) {}

    ParsedEntries Run(bool atBatchEnd) {
        for (std::size_t at = 0;;) {
            const std::size_t lineEnd = m_bytes.find(kLineEnd, at);
            if (lineEnd == std::string_view::npos) {
                break;  // a line still being written, or torn: never taken
            }
            Line(m_bytes.substr(at, lineEnd - at), at);
            at = lineEnd + kLineEnd.size();
            m_lineEnd = at;
        }
        if (atBatchEnd && m_lineEnd == m_bytes.size()) {
            Finish(m_lineEnd);
        }
        return std::move(m_parsed);
    }

private:
    void Line(std::string_view line, std::size_t at) {
        if (IsHeader(line)) {
            Finish(at);
            Begin(at, line);
        } else if (EndsInHeader(line)) {
            Drop(at);
            Begin(at + line.size() - kHeaderLength, line.substr(line.size() - kHeaderLength));
        } else if (m_header.empty()) {
            m_parsed.skipped += line.size() + kLineEnd.size();
            m_parsed.used = at + line.size() + kLineEnd.size();
        } else {
            m_body += line;
        }
    }

    void Begin(std::size_t at, std::string_view header) {
        if (at > m_parsed.used) {
            m_parsed.skipped += at - m_parsed.used;
            m_parsed.used = at;
        }
        m_header = header;
        m_body.clear();
    }

    // The entry begun before `end` is whole: it ends there.
    void Finish(std::size_t end) {
        if (m_header.empty()) {
            return;
        }
        std::optional<LogEntry> entry = EntryOf(m_header, m_body);
        if (entry) {
            entry->end = m_base + end;
            m_parsed.entries.push_back(std::move(*entry));
        } else {
            ++m_parsed.skipped;
        }
        m_parsed.used = end;
        m_header = {};
    }

    void Drop(std::size_t end) {
        if (!m_header.empty()) {
            ++m_parsed.skipped;
            m_header = {};
        }
        m_parsed.used = end;
    }

    std::string_view m_bytes;
    std::uint64_t m_base;
    ParsedEntries m_parsed;
    std::string_view m_header;  // of the entry being read; empty between entries
    std::string m_body;         // its lines, joined
    std::size_t m_lineEnd = 0;  // just past the last whole line
};

}  // namespace

void AppendEntryHeader(std::string& out, const LocalTime& t) {
    if (!t) {
        return;
    }
    out += kHeaderStart;
    AppendDateTimeText(out, *t);
    out.append(kDashes, '-');
}

std::string LogHeaderText(const LocalTime& t) {
    std::string text;
    text.reserve(kHeaderLength);
    AppendEntryHeader(text, t);
    return text;
}

void AppendEntrySender(std::string& out, bool hex, std::string_view address, std::uint16_t port) {
    out += address;
    out += hex ? kHexPortOpen : kPortOpen;
    char digits[kPortDigits];
    out.append(digits, std::to_chars(digits, digits + kPortDigits, port).ptr);
    out += kPortClose;
}

void AppendEntry(std::string& out, std::string_view header, std::string_view text) {
    out += header;
    out += kLineEnd;
    out += text;
    out += kLineEnd;
}

ParsedEntries ParseLogEntries(std::string_view bytes, std::uint64_t base, bool atBatchEnd) {
    return Parser(bytes, base).Run(atBatchEnd);
}

}  // namespace tarnwick
