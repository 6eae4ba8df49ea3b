// The devices list paged on the server: the filter takes the key or the latest record in any
// case, every column sorts both ways with the key breaking ties, and a page is a window of it.

#include "web/device_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

DeviceRow Row(std::string key, std::uint64_t records, std::string latest) {
    DeviceRow row;
    row.key = std::move(key);
    row.records = records;
    row.latestRecord = std::move(latest);
    return row;
}

std::vector<std::string> KeysOf(const DevicePage& page) {
    std::vector<std::string> keys;
    for (const DeviceRow& row : page.devices) {
        keys.push_back(row.key);
    }
    return keys;
}

TEST(DeviceIndexTest, FiltersSortsAndPagesOnTheServer) {
    int snapshots = 0;
    DeviceIndex index([&snapshots] {
        ++snapshots;
        return std::vector<DeviceRow>{
            Row("b", 5, "x (1):#ST,1;Temp:20#"), Row("a", 5, "x (1):#ST,1;ALARM#"),
            Row("c", 1, "x (1):#ST,1;alarm now#"), Row("d", 9, "x (1):#ST,1;#")};
    });
    struct Case {
        const char* proves;
        DeviceQuery query;
        std::size_t matched;
        std::vector<std::string> keys;
    };
    const std::vector<Case> cases = {
        {"by key, the default", {}, 4, {"a", "b", "c", "d"}},
        {"by key, descending", {"", {DeviceColumn::Key, true}}, 4, {"d", "c", "b", "a"}},
        {"by records, ties by key", {"", {DeviceColumn::Records, false}}, 4, {"c", "a", "b", "d"}},
        {"the record's text in any case", {"Alarm", {}}, 2, {"a", "c"}},
        {"the key", {"D", {}}, 1, {"d"}},
        {"a page", {"", {}, 1, 2}, 4, {"b", "c"}},
        {"a page from the end", {"", {DeviceColumn::Records, true}, 1, 2}, 4, {"b", "a"}},
        {"a page past the end", {"", {}, 9, 2}, 4, {}},
        {"nothing matched", {"zzz", {}}, 0, {}},
    };
    const auto now = DeviceIndex::Clock::now();
    for (const Case& c : cases) {
        const DevicePage page = index.Page(c.query, now);
        EXPECT_EQ(page.total, 4u) << c.proves;
        EXPECT_EQ(page.matched, c.matched) << c.proves;
        EXPECT_EQ(KeysOf(page), c.keys) << c.proves;
    }
    EXPECT_EQ(snapshots, 1) << "one snapshot a second, whatever number of requests";
    (void)index.Page({}, now + DeviceIndex::kFreshFor);
    EXPECT_EQ(snapshots, 2);
}

TEST(DeviceIndexTest, ReadsEveryColumnsNameAndNoOther) {
    EXPECT_EQ(ParseDeviceSort("-lastHeard"), (DeviceSort{DeviceColumn::LastHeard, true}));
    EXPECT_EQ(ParseDeviceSort("commandsHeld"), (DeviceSort{DeviceColumn::CommandsHeld, false}));
    for (const char* text : {"", "-", "Key", "lastheard", "--key", "key "}) {
        EXPECT_FALSE(ParseDeviceSort(text)) << text;
    }
}

}  // namespace
}  // namespace tarnwick
