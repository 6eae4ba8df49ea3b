#include "session/device_table.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

socket_info From(const char* address, int port) {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, address, &from.sin_addr);
    return MakeSocketInfo(3, 1, from);
}

TEST(DeviceKeyTest, KeysAndTheirRules) {
    using Kind = DeviceKeyRule::Kind;
    struct Row {
        const char* proves;
        const char* rule;
        std::string_view record;
        std::string key;
    };
    const std::vector<Row> rows = {
        {"the default keeps address and port apart", "address", "#ST,123;ID:4;#", "10.0.0.7:4000"},
        {"ip keeps the address alone", "ip", "#ST,123;ID:4;#", "10.0.0.7"},
        {"a field names the device", "field:ID", "#ST,123;ID:4;#", "4"},
        {"a field's value is cut at the next ';'", "field:ID", "#ST,123;ID:4A;X:1;#", "4A"},
        {"a field is found only as a whole name", "field:ID", "#ST,123;XID:9;ID:5;#", "5"},
        {"no such field: the source address", "field:ID", "#ST,123;N:4;#", "10.0.0.7:4000"},
        {"an empty value: the source address", "field:ID", "#ST,123;ID:;#", "10.0.0.7:4000"},
    };
    for (const Row& row : rows) {
        const auto rule = ParseDeviceKeyRule(row.rule);
        ASSERT_TRUE(rule) << row.rule;
        EXPECT_EQ(DeviceKeyOf(*rule, row.record, "10.0.0.7", 4000), row.key) << row.proves;
    }
    EXPECT_EQ(ParseDeviceKeyRule("field:ID"), (DeviceKeyRule{Kind::Field, "ID"}));
    for (const char* refused : {"", "port", "field:", "field:A;B", "IP"}) {
        EXPECT_FALSE(ParseDeviceKeyRule(refused)) << refused;
    }
}

class DeviceTableTest : public ::testing::Test {
protected:
    static DeviceSettings Settings() {
        DeviceSettings settings;
        settings.key = *ParseDeviceKeyRule("field:ID");
        settings.maxDevices = 2;
        settings.holdFor = std::chrono::seconds(60);
        settings.silentAfter = std::chrono::seconds(600);
        return settings;
    }
    std::vector<HeldCommand> Report(const std::string& id, int port, std::time_t at) {
        const std::string body = "#ST,123;ID:" + id + ";#";
        return m_table.Heard("10.0.0.7 (" + std::to_string(port) + "):" + body, body,
                             From("10.0.0.7", port), at);
    }
    static std::vector<DeviceEvent::Kind> Kinds(const std::vector<DeviceEvent>& events) {
        std::vector<DeviceEvent::Kind> kinds;
        for (const DeviceEvent& event : events) {
            kinds.push_back(event.kind);
        }
        return kinds;
    }

    DeviceTable m_table{Settings()};
};

TEST_F(DeviceTableTest, ADeviceKeepsItsLatestAddressAndTheOldestIsForgottenBeyondTheBound) {
    Report("1", 4000, 100);
    Report("2", 4001, 101);
    Report("1", 4002, 102);  // device 1 moved to another port: still one device
    const auto one = m_table.Device("1", 102);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->client.port, 4002);
    EXPECT_EQ(one->records, 2u);
    EXPECT_EQ(one->firstHeard, 100);
    EXPECT_EQ(one->latestRecord, "10.0.0.7 (4002):#ST,123;ID:1;#");
    Report("3", 4003, 103);  // beyond two devices: 2 is the one heard least recently
    EXPECT_FALSE(m_table.Device("2", 103));
    EXPECT_EQ(m_table.Forgotten(), 1u);
    EXPECT_EQ(m_table.Devices(103).size(), 2u);
    EXPECT_EQ(Kinds(m_table.TakeEvents(103)), std::vector{DeviceEvent::Kind::Forgotten});
}

TEST_F(DeviceTableTest, AHeldCommandLeavesAtTheNextReportOrExpiresOrIsCancelled) {
    EXPECT_FALSE(m_table.Hold("1", {'#'}, "#", 100)) << "no such device yet";
    Report("1", 4000, 100);
    const auto first = m_table.Hold("1", {'A'}, "A", 101);
    const auto second = m_table.Hold("1", {'B'}, "B", 102);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(m_table.Cancel(*second, 103));
    EXPECT_FALSE(m_table.Cancel(*second, 103));
    EXPECT_EQ(m_table.Device("1", 103)->commandsHeld, 1u);
    const std::vector<HeldCommand> due = Report("1", 4009, 104);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].datagram, std::vector<std::uint8_t>{'A'});
    EXPECT_TRUE(Report("1", 4009, 105).empty()) << "sent once only";
    EXPECT_EQ(m_table.Device("1", 105)->commandsSent, 1u);

    const auto late = m_table.Hold("1", {'C'}, "C", 200);
    EXPECT_TRUE(m_table.TakeEvents(259).size() >= 1);
    EXPECT_EQ(m_table.Waiting(), 1u);
    const auto events = m_table.TakeEvents(260);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, DeviceEvent::Kind::Expired);
    EXPECT_EQ(events[0].commandId, *late);
    EXPECT_TRUE(Report("1", 4009, 261).empty());
}

TEST_F(DeviceTableTest, SilenceIsToldOnceAndSoIsTheReturn) {
    Report("1", 4000, 100);
    EXPECT_TRUE(m_table.TakeEvents(700).empty());
    EXPECT_EQ(Kinds(m_table.TakeEvents(701)), std::vector{DeviceEvent::Kind::Silent});
    EXPECT_TRUE(m_table.Devices(701)[0].silent);
    EXPECT_TRUE(m_table.TakeEvents(800).empty());
    Report("1", 4000, 801);
    EXPECT_EQ(Kinds(m_table.TakeEvents(801)), std::vector{DeviceEvent::Kind::Reporting});
}

}  // namespace
}  // namespace tarnwick
