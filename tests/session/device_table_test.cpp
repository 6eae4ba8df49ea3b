#include "session/device_table.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

socket_info From(const char* address, int port) {
    return {3, *PeerAddress::FromText(address, static_cast<std::uint16_t>(port)), 1};
}

TEST(DeviceKeyTest, KeysAndTheirRules) {
    using Kind = DeviceKeyRule::Kind;
    struct Row {
        const char* proves;
        const char* rule;
        std::string_view record;
        std::string key;
        const char* address = "10.0.0.7";
    };
    const std::vector<Row> rows = {
        {"the default keeps address and port apart", "address", "#ST,123;ID:4;#", "10.0.0.7:4000"},
        {"ip keeps the address alone", "ip", "#ST,123;ID:4;#", "10.0.0.7"},
        {"a field names the device", "field:ID", "#ST,123;ID:4;#", "4"},
        {"a field's value is cut at the next ';'", "field:ID", "#ST,123;ID:4A;X:1;#", "4A"},
        {"a field is found only as a whole name", "field:ID", "#ST,123;XID:9;ID:5;#", "5"},
        {"no such field: the source address", "field:ID", "#ST,123;N:4;#", "10.0.0.7:4000"},
        {"an empty value: the source address", "field:ID", "#ST,123;ID:;#", "10.0.0.7:4000"},
        {"an IPv6 address is bracketed before its port", "address", "#ST,123;#",
         "[2001:db8::7]:4000", "2001:db8::7"},
        {"ip: an IPv6 address without brackets", "ip", "#ST,123;#", "2001:db8::7", "2001:db8::7"},
        {"no such field: the bracketed IPv6 source", "field:ID", "#ST,123;#", "[::1]:4000", "::1"},
    };
    for (const Row& row : rows) {
        const auto rule = ParseDeviceKeyRule(row.rule);
        ASSERT_TRUE(rule) << row.rule;
        EXPECT_EQ(DeviceKeyOf(*rule, row.record, row.address, 4000), row.key) << row.proves;
    }
    EXPECT_EQ(ParseDeviceKeyRule("field:ID"), (DeviceKeyRule{Kind::Field, "ID"}));
    for (const char* refused : {"", "port", "field:", "field:A;B", "IP"}) {
        EXPECT_FALSE(ParseDeviceKeyRule(refused)) << refused;
    }
}

// A moment seconds into the test on the steady clock; the wall clock shows what it is told,
// stepped back or forward as a real one may be.
Moment At(int seconds, std::time_t wall = 0) {
    return {std::chrono::steady_clock::time_point(std::chrono::seconds(seconds)),
            wall != 0 ? wall : 1'700'000'000 + seconds};
}

class DeviceTableTest : public ::testing::Test {
protected:
    static DeviceSettings Settings() {
        DeviceSettings settings;
        settings.key = *ParseDeviceKeyRule("field:ID");
        settings.maxDevices = 2;
        settings.holdFor = std::chrono::seconds(60);
        settings.silentAfter = std::chrono::seconds(600);
        settings.maxHeld = 20;
        return settings;
    }
    // A report, and its due commands delivered as the socket takes them (errorCode 0) or not.
    std::vector<HeldCommand> Report(const std::string& id, int port, const Moment& at,
                                    int errorCode = 0) {
        const std::string body = "#ST,123;ID:" + id + ";#";
        std::vector<HeldCommand> due = m_table.Heard(
            "10.0.0.7 (" + std::to_string(port) + "):" + body, body, From("10.0.0.7", port), at);
        for (const HeldCommand& command : due) {
            m_table.Delivered(command, errorCode);
        }
        return due;
    }
    HoldResult Hold(const std::string& id, char command, const Moment& at) {
        return m_table.Hold(id, {static_cast<std::uint8_t>(command)}, std::string(1, command), at);
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
    Report("1", 4000, At(100));
    Report("2", 4001, At(101));
    Report("1", 4002, At(102));  // device 1 moved to another port: still one device
    const auto one = m_table.Device("1", At(102));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->client.addr.Port(), 4002);
    EXPECT_EQ(one->records, 2u);
    EXPECT_EQ(one->firstHeard, At(100).wall);
    EXPECT_EQ(one->latestRecord, "10.0.0.7 (4002):#ST,123;ID:1;#");
    Report("3", 4003, At(103));  // beyond two devices: 2 is the one heard least recently
    EXPECT_FALSE(m_table.Device("2", At(103)));
    EXPECT_EQ(m_table.Forgotten(), 1u);
    EXPECT_EQ(m_table.Devices(At(103)).size(), 2u);
    EXPECT_EQ(Kinds(m_table.TakeEvents()), std::vector{DeviceEvent::Kind::Forgotten});
}

TEST_F(DeviceTableTest, AHeldCommandLeavesAtTheNextReportOrExpiresOrIsCancelled) {
    EXPECT_EQ(Hold("1", '#', At(100)).outcome, HoldResult::Outcome::NoDevice);
    Report("1", 4000, At(100));
    const HoldResult first = Hold("1", 'A', At(101));
    const HoldResult second = Hold("1", 'B', At(102));
    EXPECT_TRUE(m_table.Cancel(second.id, At(103)));
    EXPECT_FALSE(m_table.Cancel(second.id, At(103)));
    EXPECT_EQ(m_table.Device("1", At(103))->commandsHeld, 1u);
    const std::vector<HeldCommand> due = Report("1", 4009, At(104));
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].id, first.id);
    EXPECT_TRUE(Report("1", 4009, At(105)).empty()) << "sent once only";
    EXPECT_EQ(m_table.Device("1", At(105))->commandsSent, 1u);
    EXPECT_EQ(m_table.Device("1", At(105))->latestCommand, "A");

    const HoldResult late = Hold("1", 'C', At(200));
    m_table.Tick(At(259));
    EXPECT_EQ(m_table.Waiting(), 1u);
    m_table.Tick(At(260));
    const auto events = m_table.TakeEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, DeviceEvent::Kind::Expired);
    EXPECT_EQ(events.back().commandId, late.id);
    EXPECT_TRUE(Report("1", 4009, At(261)).empty());
}

TEST_F(DeviceTableTest, OneOfSeveralCentresHoldsForAKeyNotHeardAndDropsWhatAnotherSent) {
    const HoldResult unheard =
        m_table.Hold("9", {'A'}, "A", At(100), HoldFor::AnyKey);  // may report here next
    ASSERT_EQ(unheard.outcome, HoldResult::Outcome::Held);
    const HoldResult elsewhere = m_table.Hold("9", {'B'}, "B", At(100), HoldFor::AnyKey);
    EXPECT_TRUE(m_table.SentElsewhere(elsewhere.id, At(101)));
    EXPECT_FALSE(m_table.Cancel(elsewhere.id, At(101))) << "settled once";
    const std::vector<HeldCommand> due = Report("9", 4000, At(102));
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].id, unheard.id);
    EXPECT_EQ(m_table.Device("9", At(102))->commandsHeld, 0u);
    EXPECT_EQ(Kinds(m_table.TakeEvents()),
              (std::vector{DeviceEvent::Kind::Held, DeviceEvent::Kind::Held,
                           DeviceEvent::Kind::SentElsewhere, DeviceEvent::Kind::Sent}));
    // No more keys wait than devices are kept (two here), however many a broker names.
    EXPECT_EQ(m_table.Hold("x", {'X'}, "X", At(103), HoldFor::AnyKey).outcome,
              HoldResult::Outcome::Held);
    EXPECT_EQ(m_table.Hold("y", {'Y'}, "Y", At(103), HoldFor::AnyKey).outcome,
              HoldResult::Outcome::Held);
    EXPECT_EQ(m_table.Hold("z", {'Z'}, "Z", At(103), HoldFor::AnyKey).outcome,
              HoldResult::Outcome::KeysFull);
}

TEST_F(DeviceTableTest, OnlyADatagramTheSocketTookIsSent) {
    Report("1", 4000, At(100));
    Hold("1", 'A', At(100));
    (void)m_table.TakeEvents();
    ASSERT_EQ(Report("1", 4000, At(101), EMSGSIZE).size(), 1u);
    const std::vector<DeviceEvent> events = m_table.TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, DeviceEvent::Kind::SendFailed);
    EXPECT_EQ(events[0].errorCode, EMSGSIZE);
    EXPECT_EQ(m_table.HeldCommands().back().state, HeldState::NotSent);
    EXPECT_EQ(m_table.Device("1", At(101))->commandsSent, 0u);
}

TEST_F(DeviceTableTest, CommandsForKeysNotHeardYetAreBoundedInBytes) {
    DeviceSettings settings = Settings();
    settings.maxDevices = 100'000;
    DeviceTable table(settings);
    const std::vector<std::uint8_t> datagram(1500, 'x');
    const std::string text(1500, 'x');
    std::size_t held = 0;
    while (table.Hold(std::to_string(held), datagram, text, At(100), HoldFor::AnyKey).outcome ==
           HoldResult::Outcome::Held) {
        ++held;
    }
    EXPECT_EQ(held, kMostUnheardBytes / 3000);
    EXPECT_EQ(table.Hold("new", datagram, text, At(101), HoldFor::AnyKey).outcome,
              HoldResult::Outcome::KeysFull);
    // A key heard: its commands weigh no more on the bound, and another fits again.
    table.Heard("10.0.0.7 (1):#ST,123;ID:0;#", "#ST,123;ID:0;#", From("10.0.0.7", 1), At(101));
    EXPECT_EQ(table.Hold("new", datagram, text, At(101), HoldFor::AnyKey).outcome,
              HoldResult::Outcome::Held);
}

TEST_F(DeviceTableTest, DurationsFollowTheSteadyClockWhateverTheWallClockDoes) {
    Report("1", 4000, At(100));
    Hold("1", 'A', At(100));
    // The wall clock steps back an hour, then forward a day: neither moves what is due.
    m_table.Tick(At(159, At(100).wall - 3600));
    EXPECT_EQ(m_table.Waiting(), 1u);
    m_table.Tick(At(159, At(100).wall + 86'400));
    EXPECT_EQ(m_table.Waiting(), 1u);
    EXPECT_FALSE(m_table.Devices(At(159, At(100).wall + 86'400))[0].silent);
    m_table.Tick(At(160, At(100).wall - 3600));
    EXPECT_EQ(m_table.Waiting(), 0u);
    EXPECT_EQ(m_table.HeldCommands()[0].sentAt, At(100).wall - 3600) << "shown as the wall says";
}

TEST_F(DeviceTableTest, CommandsHeldForAForgottenDeviceWaitForItsKey) {
    Report("4", 4000, At(100));
    Hold("4", 'K', At(100));
    Report("5", 4001, At(101));
    Report("6", 4002, At(102));  // spoofed keys push 4 out of the table
    EXPECT_FALSE(m_table.Device("4", At(102)));
    EXPECT_EQ(m_table.Waiting(), 1u);
    EXPECT_EQ(Hold("4", 'L', At(102)).outcome, HoldResult::Outcome::NoDevice);
    Report("4", 4003, At(103));
    EXPECT_EQ(m_table.Device("4", At(103))->commandsSent, 1u);
    EXPECT_EQ(m_table.HeldCommands().back().state, HeldState::Sent);
}

TEST_F(DeviceTableTest, HeldCommandsAreBoundedAndLeaveSixteenAReport) {
    Report("1", 4000, At(100));
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(Hold("1", 'A', At(100)).outcome, HoldResult::Outcome::Held);
    }
    EXPECT_EQ(Hold("1", 'A', At(100)).outcome, HoldResult::Outcome::Full);
    EXPECT_EQ(Report("1", 4000, At(101)).size(), kDeliveredPerReport);
    EXPECT_EQ(Report("1", 4000, At(102)).size(), 20 - kDeliveredPerReport);
    EXPECT_EQ(m_table.Device("1", At(102))->commandsHeld, 0u);
}

TEST_F(DeviceTableTest, ACommandSentNowCountsForTheDeviceAtThatAddress) {
    Report("1", 4000, At(100));
    Report("2", 4001, At(101));
    m_table.CommandSent(From("10.0.0.7", 4000).addr, "NOW", kFromWindow, At(102).wall);
    m_table.CommandSent(From("10.0.0.9", 4000).addr, "NOBODY", kFromWindow, At(102).wall);
    const auto one = m_table.Device("1", At(102));
    EXPECT_EQ(one->commandsSent, 1u);
    EXPECT_EQ(one->latestCommand, "NOW");
    EXPECT_EQ(one->latestCommandAt, At(102).wall);
    EXPECT_EQ(m_table.Device("2", At(102))->commandsSent, 0u);
}

// A scrape's figures: commands sent count whether or not a device stood at the address.
TEST_F(DeviceTableTest, CountsDevicesSilentOnesHeldAndSentCommands) {
    Report("1", 4000, At(100));
    Report("2", 4001, At(650));
    Hold("2", 'A', At(650));
    Hold("2", 'B', At(650));
    EXPECT_EQ(Report("2", 4001, At(660)).size(), 2u);
    Hold("2", 'C', At(661));
    m_table.CommandSent(From("10.0.0.9", 4000).addr, "NOBODY", kFromWindow, At(662).wall);
    EXPECT_EQ(m_table.Counts(At(702)), (DeviceCounts{2, 1, 1, 3}));
}

TEST_F(DeviceTableTest, SilenceIsToldOnceAndSoIsTheReturn) {
    Report("1", 4000, At(100));
    m_table.Tick(At(700));
    EXPECT_TRUE(m_table.TakeEvents().empty());
    m_table.Tick(At(701));
    EXPECT_EQ(Kinds(m_table.TakeEvents()), std::vector{DeviceEvent::Kind::Silent});
    EXPECT_TRUE(m_table.Devices(At(701))[0].silent);
    m_table.Tick(At(800));
    EXPECT_TRUE(m_table.TakeEvents().empty());
    Report("1", 4000, At(801));
    EXPECT_EQ(Kinds(m_table.TakeEvents()), std::vector{DeviceEvent::Kind::Reporting});
}

}  // namespace
}  // namespace tarnwick
