#include "record/datagram_sorter.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace tarnwick {

void PrintTo(const SortedDatagram& s, std::ostream* out) {
    *out << "verdict " << static_cast<int>(s.verdict) << ", body \"" << s.body << '"';
}

namespace {

std::vector<std::uint8_t> Text(std::string_view text) {
    return {text.begin(), text.end()};
}
std::vector<std::uint8_t> Binary(std::size_t n) {
    return std::vector<std::uint8_t>(n, 0xAB);
}

const std::string kHex10 = "AB AB AB AB AB AB AB AB AB AB ";
const std::string kHexLine = "AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB \r\n";
const std::string kHex50 = kHexLine + kHexLine + kHexLine + "AB AB ";

struct Step {
    std::vector<std::uint8_t> datagram;
    bool hexTicked;
    SortedDatagram sorted;
};

struct SequenceRow {
    const char* proves;
    std::vector<Step> steps;
};

const Step kRecord{Text("#ST,123;STA:1,2;#"), true, {Verdict::TextRecord, "#ST,123;STA:1;#"}};
const Step kHexAfterRecord{Binary(10), true, {Verdict::HexRecord, kHex10}};
const Step kUnshown{Binary(10), true, {Verdict::NotRecord, ""}};

TEST(DatagramSorterTest, RemembersWhetherTheLastDatagramWasARecord) {
    const std::vector<SequenceRow> rows = {
        {"field values are trimmed", {kRecord}},
        {"nothing before a record is shown", {kUnshown}},
        {"a short datagram after a record shows in hex", {kRecord, kHexAfterRecord}},
        {"only the first datagram after a record", {kRecord, kHexAfterRecord, kUnshown}},
        {"an ignored record leaves the memory alone",
         {kRecord, {Text("#ST:1,123;#"), true, {Verdict::Ignored, ""}}, kHexAfterRecord}},
        {"50 bytes are the most shown in hex",
         {kRecord, {Binary(50), true, {Verdict::HexRecord, kHex50}}}},
        {"51 bytes are not shown and still clear the memory",
         {kRecord, {Binary(51), true, {Verdict::NotRecord, ""}}, kUnshown}},
        {"hex unticked shows nothing and still clears the memory",
         {kRecord, {Binary(10), false, {Verdict::NotRecord, ""}}, kUnshown}},
        {"a record with an invalid code field is still a record",
         {{Text("#ST,12;A:1;#"), true, {Verdict::InvalidCode, ""}}, kHexAfterRecord}},
    };
    for (const auto& row : rows) {
        DatagramSorter sorter;
        for (std::size_t i = 0; i < row.steps.size(); ++i) {
            const Step& step = row.steps[i];
            EXPECT_EQ(sorter.Sort(step.datagram, step.hexTicked), step.sorted)
                << row.proves << ", datagram " << i;
        }
    }
}

}  // namespace
}  // namespace tarnwick
