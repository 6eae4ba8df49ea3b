// --metrics against the real headless centre: the page after 500 records says what the stop
// line says, Prometheus's own checker takes it, only /metrics is served, and HTTP clients that
// hold connections open, a thousand of them, keep neither devices from being answered nor the
// centre from stopping.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "session/counters.h"
#include "support/http_client.h"
#include "support/numbered_devices.h"
#include "support/process.h"
#include "support/temp_folder.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kTimeout = 10s;
// Unpacked from Debian's prometheus package by scripts/install-test-deps.sh.
constexpr const char* kPromtool = TARNWICK_TOOLS_DIR "/prometheus/usr/bin/promtool";

// The figure after "name " (a sample's name and labels) on the page, or after "label " in the
// stop line; nothing when it is not there.
std::optional<std::uint64_t> FigureAfter(const std::string& text, const std::string& name) {
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
        const bool starts =
            at == 0 || text[at - 1] == '\n' || text[at - 1] == ' ' || text[at - 1] == '(';
        const std::size_t digits = at + name.size();
        if (starts && digits < text.size() && std::isdigit(text[digits]) != 0) {
            return std::stoull(text.substr(digits));
        }
    }
    return std::nullopt;
}

// The sample's name and labels for a counter of the counters table.
std::string SampleOf(const CounterField<std::uint64_t>& field) {
    std::string name = "tarnwick_" + std::string(field.metric) + "_total";
    if (field.dropReason) {
        std::string reason(field.label);
        std::replace(reason.begin(), reason.end(), ' ', '_');
        name += "{reason=\"" + reason + "\"}";
    }
    return name + " ";
}

class MetricsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_centre.emplace(
            ChildProcess::Start({TARNWICK_EXE, "--headless", "--port", "0", "--auto-reply",
                                 "--log-dir", m_temp.PathOf("logs"), "--metrics", "0"}));
        m_port = ListeningPort(*m_centre, kTimeout);
        ASSERT_NE(m_port, 0) << m_centre->Stderr();
        const std::string prefix = "tarnwick: metrics on http://127.0.0.1:";
        const auto line = m_centre->WaitForStderrLine(StartsWith(prefix), kTimeout);
        ASSERT_TRUE(line) << m_centre->Stderr();
        m_metricsPort = static_cast<std::uint16_t>(std::stoul(line->substr(prefix.size())));
    }

    // The stop line, after SIGTERM.
    std::string Stop() {
        EXPECT_EQ(m_centre->Signal(SIGTERM), 0);
        EXPECT_EQ(m_centre->Wait(kTimeout), 0) << m_centre->Stderr();
        const auto line = m_centre->WaitForStderrLine(StartsWith("tarnwick: stopped; "), 0ms);
        return line.value_or("");
    }

    TempFolder m_temp;
    std::optional<ChildProcess> m_centre;
    std::uint16_t m_port = 0;
    std::uint16_t m_metricsPort = 0;
};

TEST_F(MetricsTest, AfterFiveHundredRecordsThePageSaysWhatTheStopLineSays) {
    NumberedDevices devices(m_port, 8);
    devices.Run(500, kTimeout);
    ASSERT_EQ(devices.AnsweredCount(), 500u);
    // A reply is counted just after it leaves: the page may lag the devices for a moment.
    std::string page;
    for (const auto deadline = std::chrono::steady_clock::now() + kTimeout;
         FigureAfter(page, "tarnwick_replies_total ") != 500u &&
         std::chrono::steady_clock::now() < deadline;) {
        const auto reply = HttpGet(m_metricsPort, "/metrics", kTimeout);
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->status, 200);
        page = reply->body;
    }
    EXPECT_EQ(FigureAfter(page, "tarnwick_log_write_seconds_count "), 500u) << page;
    EXPECT_EQ(FigureAfter(page, "tarnwick_devices "), 8u) << page;

    ChildProcess promtool = ChildProcess::Start({kPromtool, "check", "metrics"}, ChildInput::Pipe);
    ASSERT_TRUE(promtool.WriteInput(page));
    promtool.CloseInput();
    EXPECT_EQ(promtool.Wait(kTimeout), 0) << promtool.Stdout() << promtool.Stderr() << page;

    for (const char* path : {"/", "/metrics/", "/metricsx", "/favicon.ico"}) {
        const auto reply = HttpGet(m_metricsPort, path, kTimeout);
        ASSERT_TRUE(reply) << path;
        EXPECT_EQ(reply->status, 404) << path;
    }

    const std::string stopLine = Stop();
    for (const auto& field : kCounterFields<std::uint64_t>) {
        const auto stopped = FigureAfter(stopLine, std::string(field.label) + " ");
        ASSERT_TRUE(stopped) << field.label << " in " << stopLine;
        EXPECT_EQ(FigureAfter(page, SampleOf(field)), stopped) << field.label;
    }
}

TEST_F(MetricsTest, ClientsThatHoldConnectionsKeepNeitherDevicesWaitingNorTheStop) {
    // Half send the start of a request and never end it, half send nothing; those past the
    // server's bound wait in its backlog or in connecting.
    constexpr int kHolders = 1000;
    std::vector<int> holders;
    for (int i = 0; i < kHolders; ++i) {
        const int fd = ConnectLoopback(m_metricsPort, Connect::DoNotWait);
        if (fd >= 0 && i % 2 == 0) {
            send(fd, "GET /metrics HTTP/1.1\r\nX: ", 26, MSG_NOSIGNAL);
        }
        holders.push_back(fd);
    }
    NumberedDevices devices(m_port, 4);
    devices.Run(200, kTimeout);
    EXPECT_EQ(devices.AnsweredCount(), 200u);
    // Nor do they hold up the stop.
    EXPECT_NE(Stop(), "");
    for (const int fd : holders) {
        close(fd);
    }
}

}  // namespace
}  // namespace tarnwick::test
