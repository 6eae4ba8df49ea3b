// The log's writer and its reader against each other: what the log stage writes, the cursor
// reads back exactly, however awkward the entry.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "log/daily_log.h"
#include "log/log_cursor.h"
#include "log/log_entries.h"
#include "record/record_rules.h"
#include "record/recv_hand_off.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

struct Sent {
    HandOffKind kind;
    const char* address;
    std::uint16_t port;
    std::string body;  // as the sorter hands it on: a trimmed record, or hex text
    const char* time;  // "YYYY-MM-DD HH:MM:SS" of its handling
};

struct RoundTripRow {
    const char* proves;
    std::vector<std::vector<Sent>> batches;
};

LocalTime TimeOf(const char* text) {
    std::tm t{};
    EXPECT_EQ(std::sscanf(text, "%d-%d-%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                          &t.tm_min, &t.tm_sec),
              6);
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return t;
}

// What went in: the hand-off's sender, its time and its text, hex text without its line breaks.
LogEntry EntryOf(const RecvHandOff& handOff, const char* time) {
    std::string text(handOff.Body());
    if (handOff.kind == HandOffKind::Hex) {
        std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    }
    return {.time = time,
            .address = handOff.from.Text(),
            .port = handOff.from.Port(),
            .hex = handOff.kind == HandOffKind::Hex,
            .text = text,
            .end = 0};
}

std::string HexOf(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 37);
    }
    return HexDump(bytes);
}

Sent Record(std::string body, const char* time = "2026-03-07 14:05:09") {
    return {HandOffKind::Text, "10.0.0.7", 4000, std::move(body), time};
}

// Each batch written as the log stage writes it, then read by a cursor from where the last read
// ended.
struct RoundTrip {
    std::vector<LogEntry> wrote;
    std::vector<LogEntry> read;
    std::string bytes;  // the file's
    std::vector<std::string> reports;
};

std::vector<RecvHandOff> HandOffsOf(const std::vector<Sent>& batch) {
    std::vector<RecvHandOff> handOffs;
    for (const Sent& sent : batch) {
        const auto from = PeerAddress::FromText(sent.address, sent.port);
        EXPECT_TRUE(from.has_value());
        handOffs.push_back(MakeHandOff(sent.kind, from.value_or(PeerAddress()), sent.body, 0));
    }
    return handOffs;
}

RoundTrip WriteAndReadBack(const RoundTripRow& row) {
    const test::TempFolder folder;
    const std::string path = folder.PathOf("Data_logs_0307.txt");
    std::vector<const char*> times;  // of the entries, in the order the log asks for them
    std::size_t asked = 0;
    DailyLog log(path, [&] { return TimeOf(times.at(asked++)); });
    RoundTrip trip;
    LogCursor cursor(
        folder.Path(), {"Data_logs_0307.txt", 0},
        [&](std::string_view line) { trip.reports.emplace_back(line); },
        [] { return TimeOf("2026-03-07 23:59:59"); });
    for (const std::vector<Sent>& batch : row.batches) {
        const std::vector<RecvHandOff> handOffs = HandOffsOf(batch);
        std::vector<std::string_view> texts;
        for (std::size_t i = 0; i < batch.size(); ++i) {
            trip.wrote.push_back(EntryOf(handOffs[i], batch[i].time));
            times.push_back(batch[i].time);
            texts.push_back(handOffs[i].text);
        }
        for (const LogWriteResult& result : log.AppendAll(texts)) {
            EXPECT_TRUE(result.ok());
        }
        CursorBatch got = cursor.Next(std::numeric_limits<std::size_t>::max());
        std::ranges::move(got.entries, std::back_inserter(trip.read));
    }
    trip.bytes = test::ReadFile(path);
    return trip;
}

TEST(LogRoundTrip, TheReaderGivesBackExactlyWhatTheLogStageWrote) {
    const std::string longest = "#ST,123;" + std::string(4096 - 9, 'A') + "#";
    const std::vector<RoundTripRow> rows = {
        {"control bytes come back escaped as the writer escaped them, backslashes as they came",
         {{Record("#ST,123;A:\r\n\t\x1B\x7F\\x1B\\;#")}}},
        {"a record the \"@517\" cut shortened comes back shortened",
         {{Record("#ST,123;A:1;#@517abcdefghijk")}}},
        {"hex text over several lines is one entry, its sender with two blanks",
         {{Record("#ST,123;A:1;#"),
           {HandOffKind::Hex, "10.0.0.7", 4000, HexOf(40), "2026-03-07 14:05:09"}}}},
        {"hex text that ends a line of its own leaves an empty line in its entry",
         {{{HandOffKind::Hex, "10.0.0.7", 4000, HexOf(32), "2026-03-07 14:05:09"},
           Record("#ST,123;A:2;#")}}},
        {"an IPv6 sender",
         {{{HandOffKind::Text, "2001:db8::7", 65535, "#ST,123;#", "2026-03-07 14:05:09"}}}},
        {"a record of 4,096 bytes", {{Record(longest)}}},
        {"two entries in one second share one header write",
         {{Record("#ST,123;A:1;#"), Record("#ST,123;A:2;#"),
           Record("#ST,123;A:3;#", "2026-03-07 14:05:10")}}},
        {"entries from two batches, the second read from where the first ended",
         {{Record("#ST,123;A:1;#"), Record("#ST,456;B:2;#", "2026-03-07 14:05:10")},
          {Record("#ST,789;C:3;#", "2026-03-07 14:05:11")}}},
    };
    for (const RoundTripRow& row : rows) {
        SCOPED_TRACE(row.proves);
        RoundTrip trip = WriteAndReadBack(row);
        EXPECT_TRUE(trip.reports.empty());
        ASSERT_EQ(trip.read.size(), trip.wrote.size());
        // Each entry ends where the next one's header begins, the last at the file's end.
        for (std::size_t i = 0; i < trip.read.size(); ++i) {
            const std::string next = i + 1 < trip.read.size()
                                         ? LogHeaderText(TimeOf(trip.wrote[i + 1].time.c_str()))
                                         : std::string();
            EXPECT_EQ(trip.bytes.substr(trip.read[i].end, next.size()), next);
            EXPECT_EQ(trip.read[i].start, i == 0 ? 0 : trip.read[i - 1].end);
            trip.wrote[i].start = trip.read[i].start;
            trip.wrote[i].end = trip.read[i].end;
        }
        EXPECT_EQ(trip.read.back().end, trip.bytes.size());
        EXPECT_EQ(trip.read, trip.wrote);
    }
}

}  // namespace
}  // namespace tarnwick
