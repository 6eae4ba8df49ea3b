#include "record/record_rows.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

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

std::string SourceRow(std::string_view text, std::size_t marker) {
    std::string row(kGap);
    if (marker != npos && marker >= 2) {
        row.append(text.substr(0, marker - 1));  // drops the ':' before the marker
    }
    return row;
}

std::string ContinuationRow(std::string_view data, const Continuation& part) {
    if (data.size() == part.start) {
        return {};
    }
    const std::size_t end = data.size() > part.cap ? part.stop : data.size();
    std::string row;
    row.reserve(kIndent + end - part.start);
    row.append(kIndent, ' ');
    row.append(data.substr(part.start, end - part.start));
    return row;
}

void AppendDataRows(std::string_view data, std::vector<std::string>& rows) {
    if (DeclaredLength(data) <= kOneRowLimit) {
        rows.emplace_back(data);
        return;
    }
    rows.emplace_back(data.substr(0, kFirstRowLength));
    for (const Continuation& part : kContinuations) {
        if (data.size() > part.after) {
            rows.push_back(ContinuationRow(data, part));
        }
    }
}

// Time and source columns: a gap, the record's own row, then blanks beside the data's extra rows.
std::vector<std::string> SideColumn(std::string head, std::size_t extraRows, bool firstRecord) {
    std::vector<std::string> column;
    column.reserve(3 + extraRows);
    column.emplace_back(kGap);
    column.push_back(std::move(head));
    column.insert(column.end(), extraRows, std::string(kGap));
    if (firstRecord) {
        column.emplace_back(kWideGap);
    }
    return column;
}

}  // namespace

DisplayRows TextRecordRows(std::string_view text, std::string_view timeText, bool firstRecord) {
    const std::size_t marker = text.find(kStartMarker);
    const std::string_view data = marker == npos ? text : text.substr(marker);
    DisplayRows rows;
    rows.data.reserve(2 + kContinuations.size());
    rows.data.emplace_back(kWideGap);
    AppendDataRows(data, rows.data);
    const std::size_t extraRows = rows.data.size() - 2;
    rows.time = SideColumn(std::string(timeText), extraRows, firstRecord);
    rows.source = SideColumn(SourceRow(text, marker), extraRows, firstRecord);
    return rows;
}

DisplayRows HexRecordRows(std::string_view timeText, std::string_view sourceText,
                          std::string_view hexText) {
    std::string source(kGap);
    source.append(sourceText);
    return {SideColumn(std::string(timeText), 0, false), SideColumn(std::move(source), 0, false),
            SideColumn(std::string(hexText), 0, false)};
}

}  // namespace tarnwick
