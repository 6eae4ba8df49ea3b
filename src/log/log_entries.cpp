#include "log/log_entries.h"

#include <optional>

#include "record/sender_text.h"

namespace tarnwick {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeaderStart = "-->";
constexpr std::string_view kTimeShape = "dddd-dd-dd dd:dd:dd";  // d: a digit
constexpr std::size_t kDashes = 40;
constexpr std::size_t kHeaderLength = kHeaderStart.size() + kTimeShape.size() + kDashes;

// No line the log holds is longer: a record of 4,096 bytes, every byte escaped, and its sender.
constexpr std::size_t kLongestLine = 32 * 1024;

bool IsDigitAt(std::string_view text, std::size_t at) {
    return text[at] >= '0' && text[at] <= '9';
}

// The header line with its line end, character by character: 'd' stands for any digit.
char HeaderShapeAt(std::size_t at) {
    if (at < kHeaderStart.size()) {
        return kHeaderStart[at];
    }
    at -= kHeaderStart.size();
    if (at < kTimeShape.size()) {
        return kTimeShape[at];
    }
    at -= kTimeShape.size();
    return at < kDashes ? '-' : kLineEnd[at - kDashes];
}

// Whether text begins as a header line and its line end would.
bool BeginsLikeHeader(std::string_view text) {
    if (text.size() > kHeaderLength + kLineEnd.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char shape = HeaderShapeAt(i);
        if (shape == 'd' ? !IsDigitAt(text, i) : text[i] != shape) {
            return false;
        }
    }
    return true;
}

// "-->" + "YYYY-MM-DD HH:MM:SS" + 40 '-', judged by its shape.
bool IsHeader(std::string_view line) {
    return line.size() == kHeaderLength && BeginsLikeHeader(line);
}

// The start of a header that never got its line end: a batch cut short in its first header.
bool IsTornHeader(std::string_view bytes) {
    return !bytes.empty() && bytes.size() < kHeaderLength + kLineEnd.size() &&
           BeginsLikeHeader(bytes);
}

// A line that ends in a header: a batch torn by a killed writer, and the next one appended
// right after it. A record never ends in dashes (it ends in '#'), nor hex text.
bool EndsInHeader(std::string_view line) {
    return line.size() > kHeaderLength && IsHeader(line.substr(line.size() - kHeaderLength));
}

// "ADDR (PORT):" or, for hex, "ADDR  (PORT):", then the text.
std::optional<LogEntry> EntryOf(std::string_view header, std::string_view body) {
    const std::optional<Sender> sender = ParseSender(body);
    if (!sender) {
        return std::nullopt;
    }
    return LogEntry{.time = std::string(header.substr(kHeaderStart.size(), kTimeShape.size())),
                    .address = std::string(sender->address),
                    .port = sender->port,
                    .hex = sender->hex,
                    .text = std::string(body.substr(sender->textAt)),
                    .start = 0,
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
        const std::string_view rest = m_bytes.substr(m_lineEnd);
        if (rest.size() > kLongestLine) {
            PassOver(m_bytes.size() - kHeaderLength);
        } else if (atBatchEnd && (rest.empty() || IsTornHeader(rest))) {
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
            // Torn in its first header, the batch leaves the entry before it whole; torn
            // further on, it tears the entry being read.
            const std::string_view torn = line.substr(0, line.size() - kHeaderLength);
            if (IsTornHeader(torn)) {
                Finish(at);
            } else {
                Drop(at);
            }
            Begin(at + torn.size(), line.substr(torn.size()));
        } else if (m_header.empty()) {
            m_parsed.skipped += line.size() + kLineEnd.size();
            ++m_parsed.passedOver;
            m_parsed.used = at + line.size() + kLineEnd.size();
        } else {
            m_body += line;
        }
    }

    void Begin(std::size_t at, std::string_view header) {
        if (at > m_parsed.used) {
            m_parsed.skipped += at - m_parsed.used;
            ++m_parsed.passedOver;
            m_parsed.used = at;
        }
        m_header = header;
        m_headerAt = at;
        m_body.clear();
    }

    // The entry begun before `end` is whole: it ends there.
    void Finish(std::size_t end) {
        if (m_header.empty()) {
            return;
        }
        std::optional<LogEntry> entry = EntryOf(m_header, m_body);
        if (entry) {
            entry->start = m_base + m_headerAt;
            entry->end = m_base + end;
            m_parsed.entries.push_back(std::move(*entry));
        } else {
            ++m_parsed.skipped;
            ++m_parsed.passedOver;
        }
        m_parsed.used = end;
        m_header = {};
    }

    // A line no log holds (zeros a crash left, say): the entry being read ended with the last
    // line end, and what follows is passed over up to `to`, where a header may begin.
    void PassOver(std::size_t to) {
        Finish(m_lineEnd);
        m_parsed.skipped += to - m_parsed.used;
        ++m_parsed.passedOver;
        m_parsed.used = to;
    }

    void Drop(std::size_t end) {
        if (!m_header.empty()) {
            ++m_parsed.skipped;
            ++m_parsed.passedOver;
            m_header = {};
        }
        m_parsed.used = end;
    }

    std::string_view m_bytes;
    std::uint64_t m_base;
    ParsedEntries m_parsed;
    std::string_view m_header;   // of the entry being read; empty between entries
    std::size_t m_headerAt = 0;  // where it begins
    std::string m_body;          // its lines, joined
    std::size_t m_lineEnd = 0;   // just past the last whole line
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
