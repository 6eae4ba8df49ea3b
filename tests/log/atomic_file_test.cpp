#include "log/atomic_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "headless/devices_csv.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

constexpr int kWrites = 100;

// A table of rows rows, each naming how many rows its table has.
std::string TableOf(int rows) {
    std::vector<DeviceRow> devices(static_cast<std::size_t>(rows));
    for (DeviceRow& device : devices) {
        device.key = std::to_string(rows);
        device.latestRecord = std::string(200, 'x');  // whole rows span many pages of writes
    }
    return DevicesCsv(devices);
}

// Whether text is a header and complete rows, as many as each row says.
bool IsWholeTable(const std::string& text) {
    if (!text.starts_with(kDevicesCsvHeader) || !text.ends_with("\r\n")) {
        return false;
    }
    std::vector<std::string> keys;
    for (std::size_t at = kDevicesCsvHeader.size(); at < text.size();
         at = text.find("\r\n", at) + 2) {
        keys.push_back(text.substr(at, text.find(',', at) - at));
    }
    return std::all_of(keys.begin(), keys.end(),
                       [&](const std::string& key) { return key == std::to_string(keys.size()); });
}

TEST(AtomicFileTest, AReaderAlwaysFindsAWholeTableWhileItIsRewritten) {
    test::TempFolder temp;
    const std::string path = temp.PathOf("devices.csv");
    ASSERT_EQ(ReplaceFileWhole(path, TableOf(0)), 0);

    std::atomic<bool> writing = true;
    std::thread writer([&] {
        for (int i = 1; i <= kWrites; ++i) {
            EXPECT_EQ(ReplaceFileWhole(path, TableOf(i % 7 == 0 ? 0 : 50 + i % 13 * 20)), 0);
        }
        writing = false;
    });
    bool whole = true;
    for (int reads = 0; whole && (writing || reads == 0); ++reads) {
        const std::string text = test::ReadFile(path);
        whole = IsWholeTable(text);
        EXPECT_TRUE(whole) << "read " << reads << ":\n" << text;
    }
    writer.join();
    EXPECT_EQ(test::ReadFile(path), TableOf(50 + kWrites % 13 * 20));
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

}  // namespace
}  // namespace tarnwick
