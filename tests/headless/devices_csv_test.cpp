#include "headless/devices_csv.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarnwick {
namespace {

LocalTime Utc(std::time_t t) {
    std::tm broken{};
    return gmtime_r(&t, &broken) ? LocalTime(broken) : std::nullopt;
}

TEST(DevicesCsvTest, QuotesOnlyFieldsThatNeedIt) {
    const std::vector<std::pair<std::string_view, std::string_view>> rows = {
        {"4", "4"},
        {"", ""},
        {"a;b:c", "a;b:c"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"a\nb", "\"a\nb\""},
        {"a\rb", "\"a\rb\""},
    };
    for (const auto& [text, field] : rows) {
        EXPECT_EQ(CsvField(text), field) << text;
    }
}

TEST(DevicesCsvTest, WritesAHeaderAndOneRowPerDevice) {
    DeviceRow quiet;
    quiet.key = "4";
    quiet.client.addr = *PeerAddress::FromText("10.0.0.7", 5001);
    quiet.firstHeard = 0;
    quiet.lastHeard = 86'399;
    quiet.records = 12;
    quiet.latestRecord = "10.0.0.7 (5001):#ST,123;ID:4;#";
    quiet.commandsHeld = 1;
    quiet.commandsSent = 2;
    quiet.latestCommand = "hex:38 38";
    quiet.latestCommandAt = 60;
    quiet.silent = true;
    quiet.resends = 3;
    DeviceRow fresh;
    fresh.key = "10.0.0.8:6000";
    fresh.client.addr = *PeerAddress::FromText("10.0.0.8", 6000);
    fresh.firstHeard = 86'400;
    fresh.lastHeard = 86'400;
    fresh.records = 1;
    fresh.latestRecord = "10.0.0.8 (6000):#ST,123;A:\"x\";#";
    const std::vector<DeviceRow> rows = {quiet, fresh};

    EXPECT_EQ(DevicesCsv(rows, Utc),
              "key,address,port,first heard,last heard,records,latest record,commands held,"
              "commands sent,silent,latest command,latest command sent,resends\r\n"
              "4,10.0.0.7,5001,1970-01-01 00:00:00,1970-01-01 23:59:59,12,"
              "\"10.0.0.7 (5001):#ST,123;ID:4;#\",1,2,yes,hex:38 38,1970-01-01 00:01:00,3\r\n"
              "10.0.0.8:6000,10.0.0.8,6000,1970-01-02 00:00:00,1970-01-02 00:00:00,1,"
              "\"10.0.0.8 (6000):#ST,123;A:\"\"x\"\";#\",0,0,no,,,0\r\n");
    EXPECT_EQ(DevicesCsv({}, Utc), kDevicesCsvHeader);
}

}  // namespace
}  // namespace tarnwick
