#include "record/record_rows.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace tarnwick {
namespace {

constexpr auto npos = std::string_view::npos;
constexpr std::string_view kStartMarker = "#ST";
constexpr std::string_view kLengthTag = "L:";
constexpr std::string_view kGap = "  ";
constexpr std::string_view kWideGap = "   ";
constexpr std::size_t kIndent = 38;

// Records declaring no more than this stay on one row, however long they really are.
constexpr int kOneRowLimit = 320;
// Past the fold limit every value behaves alike, so a huge digit run may stop growing here.
constexpr int kSaturated = 1'000'000;
constexpr std::size_t kFirstRowLength = 325;

// A folded record's further rows. One is present when the data part is longer than `after`;
// it runs from `start` to the end, or only up to (not including) `stop` once the data part is
// longer than `cap`. The characters skipped between rows are never shown.
struct Continuation {
    std::size_t after;
    std::size_t start;
    std::size_t cap;
    std::size_t stop;
};
constexpr std::array<Continuation, 3> kContinuations = {{
    {325, 326, 636, 636},
    {636, 637, 932, 931},
    {932, 932, npos, npos},
}};

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the number the way atoi does, but saturates instead of overflowing.
int LeadingNumber(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && IsBlank(text[pos])) {
        ++pos;
    }
    const bool negative = pos < text.size() && text[pos] == '-';
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        ++pos;
    }
    int value = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
        value = std::min(value * 10 + (text[pos] - '0'), kSaturated);
    }
    return negative ? -value : value;
}

// The "L:" value; a value without its closing ';' counts as empty.
int DeclaredLength(std::string_view data) {
    const std::size_t tag = data.find(kLengthTag);
    if (tag == npos) {
        return 0;
    }
    const std::size_t from = tag + kLengthTag.size();
    const std::size_t end = data.find(';', from);
    return end == npos ? 0 : LeadingNumber(data.substr(from, end - from));
}

// Writes a column's rows over its earlier ones, so their strings keep their capacity.
class RowWriter {
public:
    explicit RowWriter(std::vector<std::string>& rows) : m_rows(rows) {}

    std::string& Next() {
        if (m_count == m_rows.size()) {
            m_rows.emplace_back();
        }
        return m_rows[m_count++];
    }
    void Add(std::string_view row) { Next().assign(row); }
    // Drops the rows left over from before.
    void Finish() { m_rows.resize(m_count); }

private:
    std::vector<std::string>& m_rows;
    std::size_t m_count = 0;
};

// The sender before the marker, without the ':' before it; empty when there is none.
std::string_view SourceText(std::string_view text, std::size_t marker) {
    return marker != npos && marker >= 2 ? text.substr(0, marker - 1) : std::string_view();
}

void AddContinuationRow(std::string_view data, const Continuation& part, RowWriter& rows) {
    std::string& row = rows.Next();
    row.clear();
    if (data.size() == part.start) {
        return;
    }
    const std::size_t end = data.size() > part.cap ? part.stop : data.size();
    row.append(kIndent, ' ');
    row.append(data.substr(part.start, end - part.start));
}

// The data column's rows; returns how many rows follow the record's own.
std::size_t DataRows(std::string_view data, std::vector<std::string>& column) {
    RowWriter rows(column);
    rows.Add(kWideGap);
    std::size_t extraRows = 0;
    if (DeclaredLength(data) <= kOneRowLimit) {
        rows.Add(data);
    } else {
        rows.Add(data.substr(0, kFirstRowLength));
        for (const Continuation& part : kContinuations) {
            if (data.size() > part.after) {
                AddContinuationRow(data, part, rows);
                ++extraRows;
            }
        }
    }
    rows.Finish();
    return extraRows;
}

// Time and source columns: a gap, the record's own row (prefix and head), then blanks beside the
// data's extra rows.
void SideColumn(std::vector<std::string>& column, std::string_view prefix, std::string_view head,
                std::size_t extraRows, bool firstRecord) {
    RowWriter rows(column);
    rows.Add(kGap);
    rows.Next().assign(prefix).append(head);
    for (std::size_t i = 0; i < extraRows; ++i) {
        rows.Add(kGap);
    }
    if (firstRecord) {
        rows.Add(kWideGap);
    }
    rows.Finish();
}

}  // namespace

void TextRecordRowsInto(DisplayRows& rows, std::string_view text, std::string_view timeText,
                        bool firstRecord) {
    const std::size_t marker = text.find(kStartMarker);
    const std::string_view data = marker == npos ? text : text.substr(marker);
    const std::size_t extraRows = DataRows(data, rows.data);
    SideColumn(rows.time, {}, timeText, extraRows, firstRecord);
    SideColumn(rows.source, kGap, SourceText(text, marker), extraRows, firstRecord);
}

void HexRecordRowsInto(DisplayRows& rows, std::string_view timeText, std::string_view sourceText,
                       std::string_view hexText) {
    SideColumn(rows.time, {}, timeText, 0, false);
    SideColumn(rows.source, kGap, sourceText, 0, false);
    SideColumn(rows.data, {}, hexText, 0, false);
}

}  // namespace tarnwick
