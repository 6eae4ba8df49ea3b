#include "log/log_entries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

const std::string kHeader = "-->2026-12-08 13:05:00" + std::string(40, '-') + "\r\n";

std::string Entry(const std::string& text) {
    return kHeader + text + "\r\n";
}

struct EntriesRow {
    const char* proves;
    std::string bytes;
    bool atBatchEnd;
    std::vector<std::string> texts;  // of the entries taken
    std::size_t used;                // bytes taken
    bool skipped;
};

TEST(LogEntriesTest, TakesOnlyWholeEntries) {
    const std::string a = Entry("1.2.3.4 (5):#ST,123;A:1;#");
    const std::string b = Entry("1.2.3.4 (5):#ST,456;B:2;#");
    const std::string hex = Entry(
        "1.2.3.4  (5):41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 "
        "\r\n51 ");
    const std::string forged = Entry("1.2.3.4 (5):#ST,1;X:" + kHeader.substr(0, 62) + ";#");
    const std::string badPorts = Entry("1.2.3.4 (05):#ST,1;#") + Entry("1.2.3.4 (-5):#ST,1;#") +
                                 Entry("1.2.3.4 (65536):#ST,1;#");
    const std::vector<EntriesRow> rows = {
        {"a whole batch",
         a + b,
         true,
         {"#ST,123;A:1;#", "#ST,456;B:2;#"},
         a.size() + b.size(),
         false},
        {"the last entry of bytes cut short of their batch's end waits",
         a + b,
         false,
         {"#ST,123;A:1;#"},
         a.size(),
         false},
        {"a line still being written is never taken",
         a + b.substr(0, b.size() - 3),
         true,
         {"#ST,123;A:1;#"},
         a.size(),
         false},
        {"hex text over several lines is one entry",
         hex + a,
         true,
         {"41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 51 ", "#ST,123;A:1;#"},
         hex.size() + a.size(),
         false},
        {"an entry torn by a kill, and the next appended right after it",
         a.substr(0, a.size() - 8) + b,
         true,
         {"#ST,456;B:2;#"},
         a.size() - 8 + b.size(),
         true},
        {"a batch torn in its first header leaves the entry before it whole",
         a + kHeader.substr(0, 20) + b,
         true,
         {"#ST,123;A:1;#", "#ST,456;B:2;#"},
         a.size() + 20 + b.size(),
         true},
        {"a header torn just before its line feed is a torn header too",
         a + kHeader.substr(0, 63) + b,
         true,
         {"#ST,123;A:1;#", "#ST,456;B:2;#"},
         a.size() + 63 + b.size(),
         true},
        {"a torn header after the batch's last line end leaves the entry before it whole",
         a + kHeader.substr(0, 30),
         true,
         {"#ST,123;A:1;#"},
         a.size(),
         false},
        {"a line longer than any the log holds is no log, but for where a header may begin",
         a + std::string(40'000, '\0'),
         false,
         {"#ST,123;A:1;#"},
         a.size() + 40'000 - 62,
         true},
        {"what a cut left before the first header",
         "3;#\r\n" + a,
         true,
         {"#ST,123;A:1;#"},
         5 + a.size(),
         true},
        {"a port the sender never writes makes no entry",
         badPorts + a,
         true,
         {"#ST,123;A:1;#"},
         badPorts.size() + a.size(),
         true},
        {"a header's text inside a record is part of it",
         forged,
         true,
         {"#ST,1;X:" + kHeader.substr(0, 62) + ";#"},
         forged.size(),
         false},
    };
    for (const EntriesRow& row : rows) {
        SCOPED_TRACE(row.proves);
        const ParsedEntries parsed = ParseLogEntries(row.bytes, 100, row.atBatchEnd);
        std::vector<std::string> texts;
        for (const LogEntry& entry : parsed.entries) {
            texts.push_back(entry.text);
        }
        EXPECT_EQ(texts, row.texts);
        EXPECT_EQ(parsed.used, row.used);
        EXPECT_EQ(parsed.skipped > 0, row.skipped);
        // Taken bytes end with the last entry, or with what was passed over after it.
        if (!parsed.entries.empty()) {
            EXPECT_LE(parsed.entries.back().end, 100 + row.used);
        }
    }
}

TEST(LogEntriesTest, ReadsTheSenderAndTheTime) {
    const ParsedEntries parsed = ParseLogEntries(
        Entry("10.0.0.1 (65535):#ST,1;#") + Entry("10.0.0.1  (65535):41 "), 0, true);
    ASSERT_EQ(parsed.entries.size(), 2U);
    EXPECT_EQ(parsed.entries[0].address, "10.0.0.1");
    EXPECT_EQ(parsed.entries[0].port, 65535);
    EXPECT_EQ(parsed.entries[0].time, "2026-12-08 13:05:00");
    EXPECT_FALSE(parsed.entries[0].hex);
    EXPECT_EQ(parsed.entries[1].address, "10.0.0.1");
    EXPECT_TRUE(parsed.entries[1].hex);
}

}  // namespace
}  // namespace tarnwick
