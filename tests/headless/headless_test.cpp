// The headless centre as its users run it: the real program, fed by the device peer, stopped
// by signals, writing real log files.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "log/journal_files.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "support/udp.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kTimeout = 10s;
constexpr std::string_view kRecord = "#ST,123;STA:1,2;#";
constexpr std::string_view kShownRecord = "#ST,123;STA:1;#";
constexpr int kAnyFailure = -1;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string LastLine(const std::string& text) {
    const std::vector<std::string> lines = Lines(text);
    return lines.empty() ? "" : lines.back();
}

ChildProcess StartCentre(std::vector<std::string> args, ChildInput input = ChildInput::Null) {
    args.insert(args.begin(), {TARNWICK_EXE, "--headless", "--port", "0"});
    return ChildProcess::Start(std::move(args), input);
}

std::optional<int> Stop(ChildProcess& centre, int signal) {
    EXPECT_EQ(centre.Signal(signal), 0);
    return centre.Wait(kTimeout);
}

// Replies are awaited as long as anything else; a test's own --wait-ms comes later and wins.
ChildProcess StartDevice(std::uint16_t port, std::vector<std::string> args) {
    args.insert(args.begin(),
                {TARNWICK_DEVICE_EXE, "--port", std::to_string(port), "--quiet", "--wait-ms",
                 std::to_string(std::chrono::milliseconds(kTimeout).count())});
    return ChildProcess::Start(std::move(args));
}

struct DeviceRun {
    std::string report;  // "sent N, replies M, missing K, commands C, ..."
    std::optional<int> status;
};

DeviceRun RunDevice(std::uint16_t port, std::vector<std::string> args) {
    ChildProcess device = StartDevice(port, std::move(args));
    const std::optional<int> status = device.Wait(kTimeout);
    return {device.WaitForStdoutLine(StartsWith("sent "), 0ms).value_or("no report"), status};
}

// The device's port, as the first printed record names it.
std::string DevicePort(const std::string& printed) {
    static const std::regex sender(R"(^127\.0\.0\.1  ?\((\d+)\):)");
    std::smatch match;
    return std::regex_search(printed, match, sender) ? match.str(1) : "no port";
}

std::string TextLine(const std::string& port, std::string_view record) {
    return "127.0.0.1 (" + port + "):" + std::string(record);
}

std::string HexLine(const std::string& port, std::string_view hex) {
    return "127.0.0.1  (" + port + "):" + std::string(hex);
}

std::string Today(const char* format) {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char text[16] = {};
    strftime(text, sizeof text, format, &local);
    return text;
}

fs::path TodaysLog(const fs::path& folder) {
    return folder / ("Data_logs_" + Today("%m%d") + ".txt");
}

// Byte for byte one entry per line, in order; only the time in each header is free.
void ExpectLogged(const fs::path& folder, const std::vector<std::string>& lines) {
    ASSERT_TRUE(fs::exists(TodaysLog(folder))) << TodaysLog(folder);
    const std::string log = test::ReadFile(TodaysLog(folder));
    const std::regex header("-->" + Today("%Y-%m-%d") + R"( \d\d:\d\d:\d\d-{40})");
    std::size_t at = 0;
    for (const std::string& line : lines) {
        const std::size_t end = log.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "missing entry for " << line;
        const std::string head = log.substr(at, end - at);
        EXPECT_EQ(head.size(), 62u);
        EXPECT_TRUE(std::regex_match(head, header)) << head;
        EXPECT_EQ(log.substr(end + 2, line.size() + 2), line + "\r\n");
        at = end + 2 + line.size() + 2;
    }
    EXPECT_EQ(at, log.size()) << log;
}

class Headless : public ::testing::Test {
protected:
    test::TempFolder m_temp;
    const fs::path m_dir = m_temp.Path();
};

TEST_F(Headless, AnswersPrintsAndLogsRecordsInAFolderItCreates) {
    const fs::path logDir = m_dir / "a" / "b";
    ChildProcess centre = StartCentre({"--auto-reply", "--log-dir", logDir.string()});
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();

    const DeviceRun device = RunDevice(port, {"--record", std::string(kRecord), "--record",
                                              "#ST,124;ID:4,5;#", "--expect-replies"});
    EXPECT_TRUE(device.report.starts_with("sent 2, replies 2, missing 0, ")) << device.report;
    EXPECT_EQ(device.status, 0);

    ASSERT_EQ(Stop(centre, SIGTERM), 0);
    EXPECT_TRUE(LastLine(centre.Stderr()).starts_with("tarnwick: stopped; received 2, records 2, "))
        << centre.Stderr();
    const std::string from = DevicePort(centre.Stdout());
    const std::vector<std::string> shown = {TextLine(from, kShownRecord),
                                            TextLine(from, "#ST,124;ID:4;#")};
    EXPECT_EQ(Lines(centre.Stdout()), shown);
    ExpectLogged(logDir, shown);
}

TEST_F(Headless, CountsHostileDatagramsByReasonAndAnswersTheRecordsAfterThem) {
    ChildProcess centre = StartCentre({"--auto-reply", "--log-dir", m_dir.string()});
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    const std::string tooLong = "#ST,123;D:" + std::string(4085, 'x') + ";#";  // 4,097 bytes
    const std::vector<std::string> records = {"#ST,201;A:1;#", "#ST,202;B:2;#", "#ST,203;C:3;#"};

    // Unanswered, so sent by a device that expects no replies; its datagrams are queued
    // before the next device's, which are answered only once these were read.
    const DeviceRun hostile =
        RunDevice(port, {"--record", "#ST,12a;A:1;#", "--datagram-hex", "", "--record", tooLong,
                         "--datagram-hex", "23 53 54 2C 31 32 33 3B 41 00 3B 23", "--record", "#ST",
                         "--datagram-hex", "FF 00 80 7F 01 FE"});
    EXPECT_EQ(hostile.status, 0);
    const DeviceRun valid = RunDevice(port, {"--record", records[0], "--record", records[1],
                                             "--record", records[2], "--expect-replies"});
    EXPECT_TRUE(valid.report.starts_with("sent 3, replies 3, missing 0, ")) << valid.report;

    ASSERT_EQ(Stop(centre, SIGTERM), 0);
    EXPECT_EQ(
        LastLine(centre.Stderr()),
        "tarnwick: stopped; received 9, records 3, resent 0, hex 0, dropped 6 (invalid code 1, "
        "ignored 0, not records 3, empty 1, too long 1), replies 3, logged 3, not logged 0, "
        "not answered: not logged 0, kernel drops 0");
    const std::string from = DevicePort(centre.Stdout());
    std::vector<std::string> shown;
    for (const std::string& record : records) {
        shown.push_back(TextLine(from, record));
    }
    EXPECT_EQ(Lines(centre.Stdout()), shown);
    ExpectLogged(m_dir, shown);
}

TEST_F(Headless, WithoutAutoReplyAnswersNothingButPrintsAndLogs) {
    ChildProcess centre = StartCentre({"--log-dir", m_dir.string()});
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();

    const DeviceRun device =
        RunDevice(port, {"--record", std::string(kRecord), "--expect-replies", "--wait-ms", "300"});
    EXPECT_TRUE(device.report.starts_with("sent 1, replies 0, missing 1, ")) << device.report;
    EXPECT_EQ(device.status, 1);
    ASSERT_TRUE(centre.WaitForStdoutLine(StartsWith("127.0.0.1 ("), kTimeout));

    ASSERT_EQ(Stop(centre, SIGTERM), 0);
    const std::vector<std::string> shown = {TextLine(DevicePort(centre.Stdout()), kShownRecord)};
    EXPECT_EQ(Lines(centre.Stdout()), shown);
    ExpectLogged(m_dir, shown);
}

TEST_F(Headless, HexShowsTheShortDatagramAfterARecord) {
    ChildProcess centre = StartCentre({"--hex", "--log-dir", m_dir.string()});
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();

    const DeviceRun device =
        RunDevice(port, {"--record", std::string(kRecord), "--datagram-hex", "01 02 03"});
    EXPECT_EQ(device.status, 0);
    ASSERT_TRUE(centre.WaitForStdoutLine(StartsWith("127.0.0.1  ("), kTimeout));

    ASSERT_EQ(Stop(centre, SIGTERM), 0);
    EXPECT_TRUE(LastLine(centre.Stderr())
                    .starts_with("tarnwick: stopped; received 2, records 1, resent 0, hex 1, "));
    const std::string from = DevicePort(centre.Stdout());
    const std::vector<std::string> shown = {TextLine(from, kShownRecord),
                                            HexLine(from, "01 02 03 ")};
    EXPECT_EQ(Lines(centre.Stdout()), shown);
    ExpectLogged(m_dir, shown);
}

TEST_F(Headless, SendsInputLinesAsCommandsAndOutlivesTheEndOfInput) {
    ChildProcess centre =
        StartCentre({"--auto-reply", "--log-dir", m_dir.string()}, ChildInput::Pipe);
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    ASSERT_TRUE(centre.WriteInput("ABC\n"));
    EXPECT_TRUE(centre.WaitForStderrLine(Is("tarnwick: Have no Client connect!"), kTimeout));

    // Listens for commands longer than any wait of the test; ended with the test.
    ChildProcess device = StartDevice(port, {"--record", std::string(kRecord), "--expect-replies",
                                             "--listen-seconds", std::to_string(kTimeout.count())});
    ASSERT_TRUE(centre.WaitForStdoutLine(StartsWith("127.0.0.1 ("), kTimeout));
    ASSERT_TRUE(centre.WriteInput("ABC\nhex:38 38 31 02 02\nhex:3838\nhex:38 zz 31\n"));
    ASSERT_TRUE(
        centre.WriteInput(std::string(3000, 'x') + "\n" + std::string("A\0B\n", 4) + "DEF\n"));
    const std::string from = "command from 127.0.0.1:" + std::to_string(port) + ": ";
    EXPECT_EQ(device.WaitForStdoutLine(StartsWith("command"), kTimeout), from + "#517ABC");
    EXPECT_EQ(device.WaitForStdoutLine(StartsWith("command"), kTimeout),
              from + "#517881\\x02\\x02");
    // The typo, the overlong line and the NUL send nothing: the next command is the line after.
    EXPECT_EQ(device.WaitForStdoutLine(StartsWith("command"), kTimeout), from + "#517DEF");
    const std::vector<std::string> refusals = {
        "tarnwick: Please into hex like :",
        "tarnwick:  38 38 31 02 02",
        "tarnwick: Please into hex like :",
        "tarnwick:  38 38 31 02 02",
        "tarnwick: The hex text stops being hex at character 4: \"zz 31\". Nothing was sent.",
        "tarnwick: input line longer than 1528 bytes: discarded, nothing sent",
        "tarnwick: input line holds a NUL byte: discarded, nothing sent",
    };
    ASSERT_TRUE(centre.WaitForStderrLine(Is(refusals.back()), kTimeout));
    // The lines of the commands that went out come when they are sent, between the refusals.
    std::vector<std::string> said = Lines(centre.Stderr());
    std::erase_if(said,
                  [](const std::string& line) { return line.starts_with("tarnwick: command "); });
    EXPECT_TRUE(std::search(said.begin(), said.end(), refusals.begin(), refusals.end()) !=
                said.end())
        << centre.Stderr();

    centre.CloseInput();
    const DeviceRun after = RunDevice(port, {"--record", std::string(kRecord), "--expect-replies"});
    EXPECT_TRUE(after.report.starts_with("sent 1, replies 1, missing 0, ")) << after.report;
    ASSERT_EQ(Stop(centre, SIGTERM), 0);
    EXPECT_TRUE(
        LastLine(centre.Stderr()).starts_with("tarnwick: stopped; received 2, records 2, "));
    for (const std::string& line : Lines(centre.Stderr())) {
        EXPECT_TRUE(line.starts_with("tarnwick: ")) << line;
    }
    // Both refusals on record as typed, as far as a command may go.
    const std::string journal =
        test::ReadFile((m_dir / CommandJournalName(LocalTimeOf(std::time(nullptr)))).string());
    EXPECT_NE(journal.find("\trefused: too long\tstdin\t" + std::string(1528, 'x') + "\t@"),
              std::string::npos)
        << journal;
    EXPECT_NE(journal.find("\trefused: invalid\tstdin\tA\\x00B\t@"), std::string::npos) << journal;
}

TEST_F(Headless, HoldsACommandForADevicesNextReportAndSendsItWhereThatCameFrom) {
    const fs::path devicesFile = m_dir / "devices.csv";
    ChildProcess centre = StartCentre({"--auto-reply", "--device-key", "field:ID", "--log-dir",
                                       m_dir.string(), "--devices-file", devicesFile.string()},
                                      ChildInput::Pipe);
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    // One device whose NAT port changes between its reports.
    UdpPeer before = UdpPeer::BindLoopback();
    UdpPeer after = UdpPeer::BindLoopback();
    const std::string report = "#ST,123;ID:4;#";

    before.SendTo(port, report);
    ASSERT_EQ(before.Receive(kTimeout).value_or(Datagram{}).bytes, "@517");
    ASSERT_TRUE(centre.WriteInput("@4+ HELLO\n"));
    ASSERT_TRUE(centre.WaitForStderrLine(Is("tarnwick: command 1 for 4 held: HELLO"), kTimeout))
        << centre.Stderr();

    after.SendTo(port, report);
    EXPECT_EQ(after.Receive(kTimeout).value_or(Datagram{}).bytes, "@517");
    EXPECT_EQ(after.Receive(kTimeout).value_or(Datagram{}).bytes, "#517HELLO");
    EXPECT_TRUE(centre.WaitForStderrLine(Is("tarnwick: command 1 for 4 sent: HELLO"), kTimeout))
        << centre.Stderr();
    // Anything sent to the old port would have been queued there before the command above.
    EXPECT_FALSE(before.Receive(0ms));

    // The same report twice: the second is a resend, answered all the same.
    ASSERT_EQ(Stop(centre, SIGTERM), 0);
    EXPECT_NE(LastLine(centre.Stderr()).find(", records 2, resent 1, "), std::string::npos)
        << centre.Stderr();
    const std::string from = std::to_string(after.Port());
    const std::regex table(std::string(R"(key,address,port,first heard,last heard,records,)") +
                           R"(latest record,commands held,commands sent,silent,latest command,)" +
                           R"(latest command sent,resends\r\n)" + R"(4,127\.0\.0\.1,)" + from +
                           R"(,[-0-9]{10} [:0-9]{8},)" +
                           R"([-0-9]{10} [:0-9]{8},2,"127\.0\.0\.1 \()" + from +
                           R"(\):#ST,123;ID:4;#",0,1,no,HELLO,[-0-9]{10} [:0-9]{8},1\r\n)");
    const std::string written = test::ReadFile(devicesFile.string());
    EXPECT_TRUE(std::regex_match(written, table)) << written;
}

// The port of the first printed text record from addr ("ADDR (PORT):...").
std::string SenderPort(const std::string& printed, const std::string& addr) {
    const std::string head = addr + " (";
    for (const std::string& line : Lines(printed)) {
        if (line.starts_with(head)) {
            return line.substr(head.size(), line.find(')') - head.size());
        }
    }
    return "no port";
}

TEST_F(Headless, AnswersAndLogsAnIpv6DeviceBesideAnIpv4OneAndSendsItCommands) {
    ChildProcess centre =
        StartCentre({"--auto-reply", "--log-dir", m_dir.string()}, ChildInput::Pipe);
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();

    const DeviceRun ipv4 = RunDevice(port, {"--record", std::string(kRecord), "--expect-replies"});
    EXPECT_TRUE(ipv4.report.starts_with("sent 1, replies 1, missing 0, ")) << ipv4.report;
    ChildProcess ipv6 =
        StartDevice(port, {"--host", "::1", "--record", std::string(kRecord), "--expect-replies",
                           "--listen-seconds", std::to_string(kTimeout.count())});
    ASSERT_TRUE(centre.WaitForStdoutLine(StartsWith("::1 ("), kTimeout)) << centre.Stderr();
    const std::string from6 = SenderPort(centre.Stdout(), "::1");
    // Addressed by its key, then as the newest client.
    ASSERT_TRUE(centre.WriteInput("@[::1]:" + from6 + " ABC\nDEF\n"));
    const std::string from = "command from [::1]:" + std::to_string(port) + ": ";
    EXPECT_EQ(ipv6.WaitForStdoutLine(StartsWith("command"), kTimeout), from + "#517ABC");
    EXPECT_EQ(ipv6.WaitForStdoutLine(StartsWith("command"), kTimeout), from + "#517DEF");

    ASSERT_EQ(Stop(centre, SIGTERM), 0);
    EXPECT_TRUE(
        LastLine(centre.Stderr())
            .starts_with("tarnwick: stopped; received 2, records 2, resent 0, hex 0, dropped 0 "))
        << centre.Stderr();
    const std::vector<std::string> shown = {
        "127.0.0.1 (" + SenderPort(centre.Stdout(), "127.0.0.1") + "):" + std::string(kShownRecord),
        "::1 (" + from6 + "):" + std::string(kShownRecord)};
    EXPECT_EQ(Lines(centre.Stdout()), shown);
    ExpectLogged(m_dir, shown);
}

TEST_F(Headless, BoundToEveryIpv6AddressItAnswersIpv4DevicesToo) {
    ChildProcess centre =
        StartCentre({"--bind", "::", "--auto-reply", "--log-dir", m_dir.string()});
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    const DeviceRun ipv4 = RunDevice(port, {"--record", std::string(kRecord), "--expect-replies"});
    EXPECT_TRUE(ipv4.report.starts_with("sent 1, replies 1, missing 0, ")) << ipv4.report;
    ASSERT_EQ(Stop(centre, SIGTERM), 0);
}

// In a network namespace of its own with IPv6 disabled: the centre falls back to IPv4 and an
// IPv4 device in that namespace (nsenter) is answered.
TEST_F(Headless, WithoutIpv6ListensOnIpv4AndSaysSo) {
    ChildProcess probe = ChildProcess::Start({"/usr/bin/unshare", "-n", "true"});
    if (probe.Wait(kTimeout) != 0) {
        GTEST_SKIP() << "cannot make a network namespace here (needs root and unshare -n): "
                        "the IPv4 fallback is not tested";
    }
    ChildProcess centre =
        ChildProcess::Start({"/usr/bin/unshare", "-n", "/bin/sh", "-c",
                             "PATH=/usr/sbin:/sbin:$PATH; ip link set lo up && "
                             "sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 && "
                             "exec \"$0\" --headless --port 0 --auto-reply --log-dir \"$1\"",
                             TARNWICK_EXE, m_dir.string()});
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    EXPECT_TRUE(centre.WaitForStderrLine(
        Is("tarnwick: no IPv6 on this host: listening on IPv4 only"), kTimeout))
        << centre.Stderr();

    ChildProcess device = ChildProcess::Start(
        {"/usr/bin/nsenter", "-t", std::to_string(centre.Pid()), "-n", TARNWICK_DEVICE_EXE,
         "--port", std::to_string(port), "--quiet", "--record", std::string(kRecord),
         "--expect-replies", "--wait-ms", std::to_string(kTimeout / 1ms)});
    EXPECT_EQ(device.Wait(kTimeout), 0) << device.Stderr();
    EXPECT_TRUE(device.WaitForStdoutLine(StartsWith("sent 1, replies 1, missing 0, "), 0ms))
        << device.Stdout();
    ASSERT_EQ(Stop(centre, SIGTERM), 0);
}

TEST_F(Headless, ALogFolderLostWhileRunningIsReportedOnceAndRecordsAreShownButNotAnswered) {
    const fs::path logDir = m_dir / "logs";
    ChildProcess centre = StartCentre({"--auto-reply", "--log-dir", logDir.string()});
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    // A file in the folder's place: every append below it fails.
    fs::remove_all(logDir);
    std::ofstream(logDir) << "x";

    const DeviceRun device =
        RunDevice(port, {"--record", "#ST,201;A:1;#", "--record", "#ST,202;A:2;#", "--record",
                         "#ST,203;A:3;#", "--expect-replies", "--wait-ms", "300"});
    EXPECT_TRUE(device.report.starts_with("sent 3, replies 0, missing 3, ")) << device.report;

    ASSERT_EQ(Stop(centre, SIGTERM), 0);
    const std::string from = DevicePort(centre.Stdout());
    EXPECT_EQ(Lines(centre.Stdout()), (std::vector<std::string>{TextLine(from, "#ST,201;A:1;#"),
                                                                TextLine(from, "#ST,202;A:2;#"),
                                                                TextLine(from, "#ST,203;A:3;#")}));
    const std::vector<std::string> errors = Lines(centre.Stderr());
    const std::string failure =
        "tarnwick: Log not written: " + TodaysLog(logDir).string() + ": " + std::strerror(ENOTDIR);
    EXPECT_EQ(std::count_if(errors.begin(), errors.end(),
                            [](const std::string& line) {
                                return line.starts_with("tarnwick: Log not written");
                            }),
              1);
    EXPECT_NE(std::find(errors.begin(), errors.end(), failure), errors.end()) << centre.Stderr();
    EXPECT_TRUE(LastLine(centre.Stderr())
                    .ends_with(", replies 0, logged 0, not logged 3, not answered: not logged 3, "
                               "kernel drops 0"));
}

TEST_F(Headless, SigintAndSighupStopItCleanlyToo) {
    for (const int signal : {SIGINT, SIGHUP}) {
        ChildProcess centre = StartCentre({"--log-dir", m_dir.string()});
        ASSERT_NE(ListeningPort(centre, kTimeout), 0) << centre.Stderr();
        EXPECT_EQ(Stop(centre, signal), 0) << strsignal(signal);
        EXPECT_TRUE(LastLine(centre.Stderr()).starts_with("tarnwick: stopped; received 0, "))
            << strsignal(signal);
    }
}

TEST_F(Headless, ControlBytesInARecordCannotForgeALogEntryOrAnOutputLine) {
    const std::string forgedHeader = "-->2020-01-01 00:00:00" + std::string(40, '-');
    const std::string forged =
        "#ST,123;X:1;\r\n" + forgedHeader + "\r\n6.6.6.6 (1):#ST,999;FAKE:1;#";
    ChildProcess centre = StartCentre({"--auto-reply", "--log-dir", m_dir.string()});
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();

    const DeviceRun device = RunDevice(port, {"--record", forged, "--expect-replies"});
    EXPECT_TRUE(device.report.starts_with("sent 1, replies 1, missing 0, ")) << device.report;

    ASSERT_EQ(Stop(centre, SIGTERM), 0);
    const std::vector<std::string> shown = {
        TextLine(DevicePort(centre.Stdout()),
                 "#ST,123;X:1;\\r\\n" + forgedHeader + "\\r\\n6.6.6.6 (1):#ST,999;FAKE:1;#")};
    EXPECT_EQ(Lines(centre.Stdout()), shown);
    ExpectLogged(m_dir, shown);
}

struct StartRow {
    const char* proves;
    std::vector<std::string> args;
    int status;  // kAnyFailure: any but 0
    bool onStdout;
    LinePredicate says;
};

TEST(HeadlessStartUp, RefusesOrAnswersAtOnce) {
    const UdpPeer holder = UdpPeer::BindLoopback();
    const std::vector<StartRow> rows = {
        {"a port another socket holds",
         {"--headless", "--port", std::to_string(holder.Port())},
         1,
         false,
         Is("tarnwick: socket bind error! (port " + std::to_string(holder.Port()) + ": " +
            std::strerror(EADDRINUSE) + ")")},
        {"an address not of this machine",
         {"--headless", "--port", "0", "--bind", "192.0.2.1"},
         1,
         false,
         Is("tarnwick: cannot listen on 192.0.2.1: " + std::string(std::strerror(EADDRNOTAVAIL)))},
        {"an address that is no address",
         {"--headless", "--port", "0", "--bind", "localhost"},
         2,
         false,
         Is("tarnwick: --bind takes an IPv4 or IPv6 address, not \"localhost\"")},
        {"a log folder below a file",
         {"--headless", "--port", "0", "--log-dir", "/proc/version/logs"},
         1,
         false,
         Is("tarnwick: cannot log to /proc/version/logs: " + std::string(std::strerror(ENOTDIR)))},
        {"headless without a port",
         {"--headless"},
         kAnyFailure,
         false,
         StartsWith("tarnwick: no port to listen on")},
        {"an unknown option", {"--bogus"}, 2, false, Is("tarnwick: unknown option: --bogus")},
        {"an empty log folder, with or without a window",
         {"--log-dir", ""},
         2,
         false,
         Is("tarnwick: --log-dir takes a folder, not \"\"")},
        {"a port that is no decimal number",
         {"--headless", "--port", "0x10"},
         2,
         false,
         Is("tarnwick: --port takes a number from 0 to 65535, not \"0x10\"")},
        {"a port out of range",
         {"--headless", "--port", "4294967297"},
         2,
         false,
         Is("tarnwick: --port takes a number from 0 to 65535, not \"4294967297\"")},
        {"a forgotten port",
         {"--port", "--headless"},
         2,
         false,
         Is("tarnwick: --port needs a value")},
        {"help", {"--help"}, 0, true, StartsWith("Usage: tarnwick")},
        {"version", {"--version"}, 0, true, Is("tarnwick 1.0.4")},
    };
    for (const StartRow& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.begin(), TARNWICK_EXE);
        ChildProcess program = ChildProcess::Start(std::move(args));
        const std::optional<int> status = program.Wait(kTimeout);
        ASSERT_TRUE(status) << row.proves;
        if (row.status == kAnyFailure) {
            EXPECT_NE(*status, 0) << row.proves;
        } else {
            EXPECT_EQ(*status, row.status) << row.proves;
        }
        const auto said = row.onStdout ? program.WaitForStdoutLine(row.says, 0ms)
                                       : program.WaitForStderrLine(row.says, 0ms);
        EXPECT_TRUE(said) << row.proves << "\n" << program.Stdout() << program.Stderr();
    }
}

}  // namespace
}  // namespace tarnwick::test
