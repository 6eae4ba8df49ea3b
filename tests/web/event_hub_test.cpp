// The operator page's event ring: a reader resumes after the last id it saw, one that fell
// behind is told how many it lost, and a reader that waits is woken by the next event.

#include "web/event_hub.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

constexpr std::uint64_t kFirst = 1000;

// What a reader at cursor reads now, in a buffer of max bytes; "" when it would wait.
std::string ReadNow(EventHub& hub, EventHub::Cursor& cursor, std::size_t max = 1 << 16) {
    std::string out(max, '\0');
    bool waited = false;
    const auto read = hub.ReadOrWait(
        cursor, out.data(), max, &cursor, [&waited] { waited = true; }, [] {});
    hub.Forget(&cursor);
    EXPECT_EQ(waited, read.read == EventHub::Read::Nothing);
    return out.substr(0, read.bytes);
}

TEST(EventHubTest, ResumesAfterTheLastIdSeenAsFarBackAsTheRingReaches) {
    EventHub hub(kFirst);
    for (int i = 0; i < 3; ++i) {
        hub.Publish("record", "{\"n\":" + std::to_string(i) + "}");
    }
    struct Row {
        const char* proves;
        std::optional<std::string_view> lastEventId;
        std::string read;
    };
    const std::vector<Row> rows = {
        {"a new reader: from the next event on", std::nullopt, ""},
        {"after the first", "1000",
         "id: 1001\nevent: record\ndata: {\"n\":1}\n\nid: 1002\nevent: record\ndata: "
         "{\"n\":2}\n\n"},
        {"after the newest", "1002", ""},
        {"an id of an earlier run: all this run has", "17",
         "id: 1000\nevent: record\ndata: {\"n\":0}\n\nid: 1001\nevent: record\ndata: "
         "{\"n\":1}\n\nid: 1002\nevent: record\ndata: {\"n\":2}\n\n"},
        {"an id from no run yet: from the next on", "99999", ""},
        {"no number: from the next on", "12a", ""},
    };
    for (const Row& row : rows) {
        EventHub::Cursor cursor = hub.Open(row.lastEventId);
        EXPECT_EQ(ReadNow(hub, cursor), row.read) << row.proves;
    }
}

TEST(EventHubTest, AReaderThatFellBehindLosesItsOldestAndIsToldHowMany) {
    EventHub hub(kFirst);
    EventHub::Cursor behind = hub.Open(std::nullopt);
    const std::string data(100, 'x');
    for (std::size_t i = 0; i < EventHub::kMostEvents + 5; ++i) {
        hub.Publish("record", data);
    }
    const std::string read = ReadNow(hub, behind, 400);
    EXPECT_TRUE(read.starts_with("event: lost\ndata: {\"count\":5}\n\nid: 1005\n")) << read;
    // Whole events only, as many as the buffer takes.
    EXPECT_TRUE(read.ends_with("\n\n")) << read;
    EXPECT_EQ(ReadNow(hub, behind, 200).substr(0, 9), "id: 1007\n");
}

TEST(EventHubTest, AWaitingReaderIsWokenOnceByTheNextEventABeatOrTheClose) {
    EventHub hub(kFirst);
    EventHub::Cursor cursor = hub.Open(std::nullopt);
    int woken = 0;
    char out[256];
    const auto wait = [&] {
        return hub.ReadOrWait(
            cursor, out, sizeof out, &cursor, [] {}, [&woken] { ++woken; });
    };
    EXPECT_EQ(wait().read, EventHub::Read::Nothing);
    hub.Publish("device", "{}");
    hub.Publish("device", "{}");
    EXPECT_EQ(woken, 1);
    EXPECT_EQ(wait().read, EventHub::Read::Some);
    EXPECT_EQ(wait().read, EventHub::Read::Nothing);
    hub.Beat();
    EXPECT_EQ(woken, 2);
    const auto beat = wait();
    EXPECT_EQ(std::string(out, beat.bytes), ": keep-alive\n\n");
    EXPECT_EQ(wait().read, EventHub::Read::Nothing);
    hub.Close();
    EXPECT_EQ(woken, 3);
    EXPECT_EQ(wait().read, EventHub::Read::Closed);
}

}  // namespace
}  // namespace tarnwick
