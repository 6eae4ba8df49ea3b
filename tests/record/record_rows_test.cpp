#include "record/record_rows.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "support/record_rows_of.h"

namespace tarnwick {
namespace {

using test::HexRecordRows;
using test::TextRecordRows;

const std::string kTime = "  12:34:56";
const std::string kIndent(38, ' ');

// head followed by lowercase filler (no ';', ':' or '#') up to length; every position differs
// from its neighbours, so a row that starts or stops one off shows.
std::string Filled(std::string head, std::size_t length) {
    for (std::size_t i = head.size(); i < length; ++i) {
        head.push_back(static_cast<char>('a' + i % 26));
    }
    return head;
}

std::string Cut(const std::string& s, std::size_t first, std::size_t last) {
    return s.substr(first, last + 1 - first);
}

DisplayRows Expected(const std::string& source, std::vector<std::string> data) {
    DisplayRows rows{{"  ", kTime}, {"  ", source}, {"   "}};
    rows.time.insert(rows.time.end(), data.size() - 1, "  ");
    rows.source.insert(rows.source.end(), data.size() - 1, "  ");
    rows.data.insert(rows.data.end(), data.begin(), data.end());
    return rows;
}

struct TextRow {
    const char* proves;
    std::string text;
    DisplayRows expected;
};

TEST(RecordRows, TextRecordColumns) {
    const std::string sent = "127.0.0.1 (5000):#ST,123;STA:1;#";
    const std::string noTag = Filled("#ST,1;", 1000);
    const std::string open = Filled("#ST,1;L:1000,", 1000);
    const std::string limit = Filled("#ST,1;L:320;", 1000);
    const std::string minus = Filled("#ST,1;L:-400;", 1000);
    const std::string w100 = Filled("#ST,1;L:321;", 100);
    const std::string w326 = Filled("#ST,1;L:321;", 326);
    const std::string w327 = Filled("#ST,1;L:1000;", 327);
    const std::string w637 = Filled("#ST,1;L:1000;", 637);
    const std::string w932 = Filled("#ST,1;L: \t+400;", 932);
    const std::string huge = Filled("#ST,1;L:99999999999999999999999;", 400);
    const std::vector<TextRow> rows = {
        {"sender split off before #ST", sent, Expected("  127.0.0.1 (5000)", {"#ST,123;STA:1;#"})},
        {"no #ST: all data", "abc:L:5;", Expected("  ", {"abc:L:5;"})},
        {"#ST first", "#ST,1;", Expected("  ", {"#ST,1;"})},
        {"one character before #ST", "ab#ST,1;", Expected("  a", {"#ST,1;"})},
        {"no L: stays one row", noTag, Expected("  ", {noTag})},
        {"L: without ; stays one row", open, Expected("  ", {open})},
        {"320 stays one row", limit, Expected("  ", {limit})},
        {"negative stays one row", minus, Expected("  ", {minus})},
        {"321 but short: no blank rows", w100, Expected("  ", {w100})},
        {"321, 326 long: empty second row", w326, Expected("  ", {Cut(w326, 0, 324), ""})},
        {"327: one character on", w327,
         Expected("  ", {Cut(w327, 0, 324), kIndent + Cut(w327, 326, 326)})},
        {"637: empty third row", w637,
         Expected("  ", {Cut(w637, 0, 324), kIndent + Cut(w637, 326, 635), ""})},
        {"blanks and sign, 932", w932,
         Expected("  ", {Cut(w932, 0, 324), kIndent + Cut(w932, 326, 635),
                         kIndent + Cut(w932, 637, 931)})},
        {"huge value folds", huge,
         Expected("  ", {Cut(huge, 0, 324), kIndent + Cut(huge, 326, 399)})},
    };
    for (const TextRow& row : rows) {
        SCOPED_TRACE(row.proves);
        EXPECT_EQ(TextRecordRows(row.text, kTime, false), row.expected);
    }
}

TEST(RecordRows, ThousandCharactersFoldIntoFourRows) {
    const std::string data = Filled("#ST,123;L:1000;", 1000);
    const DisplayRows expected{
        {"  ", kTime, "  ", "  ", "  ", "   "},
        {"  ", "  10.0.0.9 (7)", "  ", "  ", "  ", "   "},
        {"   ", Cut(data, 0, 324), kIndent + Cut(data, 326, 635), kIndent + Cut(data, 637, 930),
         kIndent + Cut(data, 932, 999)},
    };
    EXPECT_EQ(TextRecordRows("10.0.0.9 (7):" + data, kTime, true), expected);
}

TEST(RecordRows, HexRecordColumns) {
    const DisplayRows expected{{"  ", kTime}, {"  ", "  127.0.0.1  (5000)"}, {"  ", "41 42 0D"}};
    EXPECT_EQ(HexRecordRows(kTime, "127.0.0.1  (5000)", "41 42 0D"), expected);
}

TEST(RecordRows, RowsWrittenOverAnotherRecordsKeepNothingOfThem) {
    const std::string folded = "10.0.0.9 (7):" + Filled("#ST,123;L:1000;", 1000);
    const std::string shortText = "10.0.0.9 (7):#ST,1;#";
    DisplayRows rows;
    TextRecordRowsInto(rows, folded, kTime, true);
    TextRecordRowsInto(rows, shortText, "  01:02:03", false);
    EXPECT_EQ(rows, TextRecordRows(shortText, "  01:02:03", false));
    HexRecordRowsInto(rows, kTime, "127.0.0.1  (5000)", "41");
    EXPECT_EQ(rows, HexRecordRows(kTime, "127.0.0.1  (5000)", "41"));
    TextRecordRowsInto(rows, folded, kTime, true);
    EXPECT_EQ(rows, TextRecordRows(folded, kTime, true));
}

}  // namespace
}  // namespace tarnwick
