// tarnwick-device against a stand-in centre on 127.0.0.1, and its parts: the option parser,
// what counts as a record and the report.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_folder.h"
#include "support/udp.h"

#include "datagram_source.h"
#include "device_options.h"
#include "report.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;
using device::DeviceOptions;

constexpr auto kTimeout = 10s;
constexpr std::string_view kReply = "@517";

ChildProcess StartDevice(const UdpPeer& centre, std::vector<std::string> args) {
    args.insert(args.begin(), {TARNWICK_DEVICE_EXE, "--port", std::to_string(centre.Port())});
    return ChildProcess::Start(std::move(args));
}

std::vector<Datagram> ReceiveAll(UdpPeer& centre, std::size_t count) {
    std::vector<Datagram> received;
    while (received.size() < count) {
        auto datagram = centre.Receive(kTimeout);
        if (!datagram) {
            break;
        }
        received.push_back(*std::move(datagram));
    }
    return received;
}

std::vector<std::string> BytesOf(const std::vector<Datagram>& datagrams) {
    std::vector<std::string> bytes;
    for (const Datagram& datagram : datagrams) {
        bytes.push_back(datagram.bytes);
    }
    return bytes;
}

std::string ReportLine(ChildProcess& device) {
    return device.WaitForStdoutLine(StartsWith("sent "), kTimeout).value_or("no report");
}

TEST(DevicePeer, SendsGivenDatagramsInOrderAwaitsRepliesToRecordsOnlyAndPrintsCommands) {
    UdpPeer centre = UdpPeer::BindLoopback();
    ChildProcess device = StartDevice(
        centre, {"--record", "#ST,123;ID:17,x;STA:12.5,N;#", "--datagram-hex", "23 53 54 00 23",
                 "--datagram-hex", "", "--record", "noise", "--datagram-hex", "ff 0A",
                 "--expect-replies", "--wait-ms", "10000", "--quiet"});

    const std::vector<Datagram> received = ReceiveAll(centre, 5);
    const std::vector<std::string> expected = {"#ST,123;ID:17,x;STA:12.5,N;#",
                                               std::string("#ST\0#", 5), "", "noise", "\xFF\x0A"};
    ASSERT_EQ(BytesOf(received), expected);
    centre.SendTo(received.back().port, std::string("#517A\0\x7F~\\", 9));
    centre.SendTo(received.front().port, kReply);

    EXPECT_EQ(device.WaitForStdoutLine(StartsWith("command"), kTimeout),
              "command from 127.0.0.1:" + std::to_string(centre.Port()) + ": #517A\\x00\\x7F~\\");
    EXPECT_TRUE(
        ReportLine(device).starts_with("sent 5, replies 1, missing 0, commands 1, seconds "));
    EXPECT_EQ(device.Wait(kTimeout), 0);
}

TEST(DevicePeer, GeneratesPaddedRecordsRoundRobinAndExitsOneWhenRepliesAreMissing) {
    UdpPeer centre = UdpPeer::BindLoopback();
    ChildProcess device = StartDevice(centre, {"--count", "3", "--size", "48", "--sources", "3",
                                               "--expect-replies", "--wait-ms", "200"});

    std::vector<Datagram> received = ReceiveAll(centre, 3);
    ASSERT_EQ(received.size(), 3u);
    centre.SendTo(received[0].port, kReply);
    std::vector<std::string> records = BytesOf(received);
    std::sort(records.begin(), records.end());
    const std::string zeros(21, '0');
    EXPECT_EQ(records, (std::vector<std::string>{"#ST,123;ID:" + zeros + "1,x;STA:12.5,N;#",
                                                 "#ST,123;ID:" + zeros + "2,x;STA:12.5,N;#",
                                                 "#ST,123;ID:" + zeros + "3,x;STA:12.5,N;#"}));
    EXPECT_NE(received[0].port, received[1].port);
    EXPECT_NE(received[1].port, received[2].port);
    EXPECT_NE(received[0].port, received[2].port);

    EXPECT_TRUE(ReportLine(device).starts_with("sent 3, replies 1, missing 2, commands 0, "));
    EXPECT_EQ(device.Wait(kTimeout), 1);
}

TEST(DevicePeer, CountsRepliesItDoesNotInsistOn) {
    UdpPeer centre = UdpPeer::BindLoopback();
    ChildProcess device = StartDevice(centre, {"--count", "5", "--quiet"});

    for (const Datagram& datagram : ReceiveAll(centre, 5)) {
        centre.SendTo(datagram.port, kReply);
    }
    EXPECT_TRUE(ReportLine(device).starts_with("sent 5, replies 5, missing 0, "));
    EXPECT_EQ(device.Wait(kTimeout), 0);
}

TEST(DevicePeer, KeepsNoMoreThanTheWindowUnanswered) {
    UdpPeer centre = UdpPeer::BindLoopback();
    ChildProcess device =
        StartDevice(centre, {"--count", "3", "--window", "2", "--expect-replies", "--quiet"});

    const std::vector<Datagram> firstTwo = ReceiveAll(centre, 2);
    ASSERT_EQ(firstTwo.size(), 2u);
    EXPECT_FALSE(centre.Receive(50ms)) << "a third record went out before any reply";
    centre.SendTo(firstTwo[0].port, kReply);
    const auto third = centre.Receive(kTimeout);
    ASSERT_TRUE(third);
    for (const Datagram& datagram : {firstTwo[1], *third}) {
        centre.SendTo(datagram.port, kReply);
    }
    EXPECT_TRUE(ReportLine(device).starts_with("sent 3, replies 3, missing 0, "));
    EXPECT_EQ(device.Wait(kTimeout), 0);
}

TEST(DevicePeer, PacesSendingToTheRate) {
    UdpPeer centre = UdpPeer::BindLoopback();
    ChildProcess device = StartDevice(centre, {"--count", "3", "--rate", "20", "--quiet"});

    EXPECT_EQ(ReceiveAll(centre, 3).size(), 3u);
    const std::string report = ReportLine(device);
    const double seconds = std::stod(report.substr(report.find("seconds ") + 8));
    EXPECT_GE(seconds, 0.095) << "3 records at 20 per second span 0.1 s: " << report;
    EXPECT_EQ(device.Wait(kTimeout), 0);
}

TEST(DevicePeer, BatchedRunThroughTheHeadlessCentreIsAnsweredWhole) {
    const TempFolder logs;
    ChildProcess centre = ChildProcess::Start(
        {TARNWICK_EXE, "--headless", "--port", "0", "--auto-reply", "--log-dir", logs.Path()});
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();

    ChildProcess device =
        ChildProcess::Start({TARNWICK_DEVICE_EXE, "--port", std::to_string(port), "--count", "2000",
                             "--batch", "64", "--expect-replies", "--quiet"});
    EXPECT_TRUE(ReportLine(device).starts_with("sent 2000, replies 2000, missing 0, "));
    EXPECT_EQ(device.Wait(kTimeout), 0);
}

TEST(DevicePeer, BadUsageExitsTwoWithUsageOnStderr) {
    ChildProcess device = ChildProcess::Start({TARNWICK_DEVICE_EXE, "--count", "3"});
    EXPECT_EQ(device.Wait(kTimeout), 2);
    EXPECT_TRUE(device.WaitForStderrLine(StartsWith("usage: tarnwick-device"), 0ms));
}

TEST(DevicePeerRecords, OnlyWhatTheCentreAnswersIsARecord) {
    const struct {
        std::string_view datagram;
        bool record;
    } rows[] = {
        {"#ST,123;ID:1,x;#", true},
        {"#ST#", true},
        {"#ST", false},
        {"", false},
        {"ST,123;#", false},
        {"#ST,123; ", false},
        {std::string_view("#ST\0#", 5), false},  // the centre reads up to the first zero byte
    };
    for (const auto& row : rows) {
        EXPECT_EQ(device::IsRecord(row.datagram), row.record) << row.datagram;
    }
}

TEST(DevicePeerReport, MissingCountsUnansweredRecordsOnly) {
    const struct {
        const char* proves;
        std::uint64_t sent, records, replies;
        std::string_view starts;
    } rows[] = {
        {"a datagram that is no record awaits no reply", 2, 1, 1, "sent 2, replies 1, missing 0, "},
        {"an unanswered record", 2, 2, 1, "sent 2, replies 1, missing 1, "},
        {"replies beyond the records leave none missing", 1, 1, 3,
         "sent 1, replies 3, missing 0, "},
    };
    for (const auto& row : rows) {
        device::PeerStats stats;
        stats.sent = row.sent;
        stats.records = row.records;
        stats.replies = row.replies;
        EXPECT_TRUE(device::FormatReport(stats).starts_with(row.starts)) << row.proves;
    }
}

DeviceOptions WithPort(std::uint16_t port) {
    DeviceOptions options;
    options.port = port;
    return options;
}

struct ParseRow {
    const char* proves;
    std::vector<std::string_view> args;
    device::ParsedOptions expected;
};

std::vector<ParseRow> ParseRows() {
    DeviceOptions mixed = WithPort(5000);
    mixed.datagrams = {"a", std::string("\x01\xAB", 2), "", "b"};
    DeviceOptions everything = WithPort(65535);
    everything.host = "127.0.0.2";
    everything.count = 1000000;
    everything.size = 65507;
    everything.rate = 500;
    everything.sources = 4;
    everything.window = 2048;
    everything.batch = 1024;
    everything.expect_replies = true;
    everything.wait = 0ms;
    everything.listen = 250ms;
    everything.quiet = true;
    DeviceOptions ipv6 = WithPort(1);
    ipv6.host = "::1";
    const device::UsageError error{};
    return {
        {"a port alone takes every default", {"--port", "1"}, WithPort(1)},
        {"records and hex keep command-line order, hex in either case, empty allowed",
         {"--record", "a", "--port", "5000", "--datagram-hex", "01 aB", "--datagram-hex", "",
          "--record", "b"},
         mixed},
        {"every option at its limit, seconds in fractions",
         {"--port",
          "65535",
          "--host",
          "127.0.0.2",
          "--count",
          "1000000",
          "--size",
          "65507",
          "--rate",
          "500",
          "--sources",
          "4",
          "--window",
          "2048",
          "--batch",
          "1024",
          "--expect-replies",
          "--wait-ms",
          "0",
          "--listen-seconds",
          "0.25",
          "--quiet"},
         everything},
        {"an IPv6 host", {"--port", "1", "--host", "::1"}, ipv6},
        {"help needs no port", {"--help"}, device::HelpRequested{}},
        {"the port is required", {"--count", "2"}, error},
        {"port 0 is no destination", {"--port", "0"}, error},
        {"port past 65535", {"--port", "65536"}, error},
        {"trailing junk in a number", {"--port", "80x"}, error},
        {"negative number", {"--port", "1", "--count", "-1"}, error},
        {"missing value", {"--port"}, error},
        {"unknown option", {"--port", "1", "--verbose"}, error},
        {"host must be an IP address, not a name", {"--port", "1", "--host", "localhost"}, error},
        {"IPv6 needs no brackets", {"--port", "1", "--host", "[::1]"}, error},
        {"a lone hex digit would be lost", {"--port", "1", "--datagram-hex", "233"}, error},
        {"digits of a pair split by a space", {"--port", "1", "--datagram-hex", "2 3"}, error},
        {"not hex", {"--port", "1", "--datagram-hex", "zz"}, error},
        {"too large for UDP", {"--port", "1", "--size", "65508"}, error},
        {"no sources", {"--port", "1", "--sources", "0"}, error},
        {"no window", {"--port", "1", "--window", "0"}, error},
        {"no batch", {"--port", "1", "--batch", "0"}, error},
        {"batch past 1024", {"--port", "1", "--batch", "1025"}, error},
        {"generated and given datagrams do not mix",
         {"--port", "1", "--record", "a", "--count", "2"},
         error},
    };
}

TEST(DevicePeerOptions, ParsesEachRow) {
    for (const ParseRow& row : ParseRows()) {
        const device::ParsedOptions parsed = device::ParseDeviceOptions(row.args);
        if (std::holds_alternative<device::UsageError>(row.expected)) {
            EXPECT_TRUE(std::holds_alternative<device::UsageError>(parsed)) << row.proves;
        } else {
            EXPECT_EQ(parsed, row.expected) << row.proves;
        }
    }
}

}  // namespace
}  // namespace tarnwick::test
