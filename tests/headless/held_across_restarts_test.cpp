// Held commands as an operator finds them across restarts of the real headless centre: killed
// with -9 and started again on the same log folder, a held command still leaves once, and a
// hold published on the broker while the centre was stopped is held when it is back, and the
// window stopped by SIGTERM keeps its held commands for the next start.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "log/journal_files.h"
#include "support/mqtt_broker.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "support/udp.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kTimeout = 10s;
constexpr std::string_view kReport = "#ST,123;ID:4;#";

class HeldAcrossRestarts : public ::testing::Test {
protected:
    ChildProcess StartCentre(std::vector<std::string> args = {}) {
        args.insert(args.begin(), {TARNWICK_EXE, "--headless", "--port", "0", "--auto-reply",
                                   "--device-key", "field:ID", "--log-dir", m_temp.Path()});
        return ChildProcess::Start(std::move(args), ChildInput::Pipe);
    }
    // The device reports to the centre on port and gets its answer; then what else it is sent.
    std::vector<std::string> Report(std::uint16_t port, std::chrono::milliseconds quiet) {
        m_device.SendTo(port, kReport);
        std::vector<std::string> got;
        for (auto datagram = m_device.Receive(kTimeout); datagram;
             datagram = m_device.Receive(quiet)) {
            got.push_back(datagram->bytes);
        }
        return got;
    }
    // Whatever the journal's file of today holds, once it holds wanted.
    bool JournalSays(const std::string& wanted) {
        const auto deadline = std::chrono::steady_clock::now() + kTimeout;
        while (std::chrono::steady_clock::now() < deadline) {
            for (const auto& file : fs::directory_iterator(m_temp.Path())) {
                if (file.path().filename().string().starts_with("Commands_") &&
                    ReadFile(file.path().string()).find(wanted) != std::string::npos) {
                    return true;
                }
            }
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    TempFolder m_temp;
    UdpPeer m_device = UdpPeer::BindLoopback();
};

TEST_F(HeldAcrossRestarts, AHeldCommandOutlivesAKillAndLeavesOnce) {
    {
        ChildProcess centre = StartCentre();
        const std::uint16_t port = ListeningPort(centre, kTimeout);
        ASSERT_NE(port, 0) << centre.Stderr();
        ASSERT_EQ(Report(port, 0ms), std::vector<std::string>{"@517"});
        ASSERT_TRUE(centre.WriteInput("@4+ KEEP\n"));
        ASSERT_TRUE(JournalSays("\t1\t4\theld\tstdin\tKEEP\t")) << centre.Stderr();
        ASSERT_EQ(centre.Signal(SIGKILL), 0);
        ASSERT_TRUE(centre.Wait(kTimeout));
    }
    {
        ChildProcess centre = StartCentre();
        const std::uint16_t port = ListeningPort(centre, kTimeout);
        EXPECT_TRUE(
            centre.WaitForStderrLine(Is("tarnwick: command 1 for 4 restored: KEEP"), kTimeout))
            << centre.Stderr();
        EXPECT_EQ(Report(port, 200ms), (std::vector<std::string>{"@517", "#517KEEP"}));
        EXPECT_TRUE(centre.WaitForStderrLine(Is("tarnwick: command 1 for 4 sent: KEEP"), kTimeout));
        ASSERT_TRUE(JournalSays("\t1\t4\tsent\tstdin\tKEEP\t"));
        ASSERT_EQ(centre.Signal(SIGKILL), 0);
        ASSERT_TRUE(centre.Wait(kTimeout));
    }
    ChildProcess centre = StartCentre();
    EXPECT_EQ(Report(ListeningPort(centre, kTimeout), 200ms), std::vector<std::string>{"@517"})
        << centre.Stderr();
}

// The window, run offscreen as its own tests run it, while this process's environment is
// left as it was.
ChildProcess StartWindow(const std::string& logDir) {
    const char* before = getenv("QT_QPA_PLATFORM");
    const std::optional<std::string> kept =
        before ? std::optional<std::string>(before) : std::nullopt;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ChildProcess window = ChildProcess::Start({TARNWICK_EXE, "--log-dir", logDir});
    if (kept) {
        setenv("QT_QPA_PLATFORM", kept->c_str(), 1);
    } else {
        unsetenv("QT_QPA_PLATFORM");
    }
    return window;
}

TEST_F(HeldAcrossRestarts, TheWindowStopsAtSigtermWithNoBoxAndKeepsItsHeldCommand) {
    {
        ChildProcess centre = StartCentre();
        const std::uint16_t port = ListeningPort(centre, kTimeout);
        ASSERT_NE(port, 0) << centre.Stderr();
        ASSERT_EQ(Report(port, 0ms), std::vector<std::string>{"@517"});
        ASSERT_TRUE(centre.WriteInput("@4+ KEEP\n"));
        ASSERT_TRUE(centre.WaitForStderrLine(Is("tarnwick: command 1 for 4 held: KEEP"), kTimeout));
        ASSERT_EQ(centre.Signal(SIGTERM), 0);
        ASSERT_EQ(centre.Wait(kTimeout), 0);
    }
    {
        ChildProcess window = StartWindow(m_temp.Path());
        ASSERT_TRUE(
            window.WaitForStderrLine(Is("tarnwick: command 1 for 4 restored: KEEP"), kTimeout))
            << window.Stderr();
        ASSERT_EQ(window.Signal(SIGTERM), 0);
        EXPECT_EQ(window.Wait(kTimeout), 0) << window.Stderr();
        EXPECT_TRUE(window.WaitForStderrLine(
            Is("tarnwick: 1 command held for devices' next reports waits in the command journal "
               "for the next start."),
            0ms))
            << window.Stderr();
    }
    ChildProcess centre = StartCentre();
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    EXPECT_TRUE(centre.WaitForStderrLine(Is("tarnwick: command 1 for 4 restored: KEEP"), kTimeout))
        << centre.Stderr();
    EXPECT_EQ(Report(port, 200ms), (std::vector<std::string>{"@517", "#517KEEP"}));
}

TEST_F(HeldAcrossRestarts, AHoldPublishedWhileTheCentreIsStoppedIsHeldWhenItIsBack) {
    if (!MqttBroker::Installed()) {
        GTEST_SKIP() << kMosquittoExe << " is missing (scripts/install-test-deps.sh unpacks it)";
    }
    MqttBroker broker;
    ASSERT_TRUE(broker.Start());
    MqttSubscriber publisher(broker.Port(), "tarnwick/command-result/#");
    MqttSubscriber status(broker.Port(), "tarnwick/status");
    // The client id a centre on a fixed port has across its restarts.
    const std::vector<std::string> mqtt = {"--mqtt", broker.Url(), "--mqtt-client-id", "held"};
    {
        // The first run makes the centre's session on the broker; it subscribes before its
        // first status.
        ChildProcess centre = StartCentre(mqtt);
        ASSERT_FALSE(
            status.WaitFor([](const std::vector<MqttMessage>& m) { return !m.empty(); }, kTimeout)
                .empty())
            << centre.Stderr();
        ASSERT_EQ(centre.Signal(SIGTERM), 0);
        ASSERT_EQ(centre.Wait(kTimeout), 0);
    }
    // A command meant for now whose MQTT 5 expiry passes while the centre is away never
    // leaves: the broker drops it from the centre's queue.
    ASSERT_TRUE(
        PublishExpiring(broker.Port(), "tarnwick/command/4", R"({"id":"late","text":"LATE"})", 1s));
    std::this_thread::sleep_for(2s);
    publisher.Publish("tarnwick/hold/4", R"({"id":"away","text":"WAKE"})");
    ChildProcess centre = StartCentre(mqtt);
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_TRUE(centre.WaitForStderrLine(Is("tarnwick: command 1 for 4 held: WAKE"), kTimeout))
        << centre.Stderr();
    EXPECT_EQ(Report(port, 200ms), (std::vector<std::string>{"@517", "#517WAKE"}));
    const std::string journal =
        ReadFile(m_temp.PathOf(CommandJournalName(LocalTimeOf(std::time(nullptr)))));
    EXPECT_EQ(journal.find("LATE"), std::string::npos) << journal;
}

}  // namespace
}  // namespace tarnwick::test
