// The headless centre under a service manager, played by the test: a NOTIFY_SOCKET it binds and
// reads. READY=1 names a port that already answers, WATCHDOG=1 keeps coming while the log stage
// goes round and stops while another program's lock holds it, STOPPING=1 comes at the stop.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/notify_socket.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "support/todays_log.h"
#include "support/udp.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kTimeout = 10s;
constexpr auto kWatchdogUsec = 200'000;  // WATCHDOG=1 every 100 ms
// Far longer than the gap between two WATCHDOG=1 messages.
constexpr auto kNoBeat = 600ms;

TEST(ServiceNotifyTest, ReadyNamesAnAnsweringPortTheWatchdogFollowsTheLogStageStoppingEnds) {
    TempFolder temp;
    const std::string logs = temp.PathOf("logs");
    NotifySocket notify(temp.PathOf("notify"));
    ChildProcess centre =
        ChildProcess::Start({"/usr/bin/env", "NOTIFY_SOCKET=" + notify.Path(),
                             "WATCHDOG_USEC=" + std::to_string(kWatchdogUsec), TARNWICK_EXE,
                             "--headless", "--port", "0", "--auto-reply", "--log-dir", logs});

    const auto ready = notify.WaitFor("READY=1", kTimeout);
    ASSERT_TRUE(ready) << centre.Stderr();
    const std::string prefix = "READY=1\nSTATUS=listening on UDP port ";
    ASSERT_TRUE(ready->starts_with(prefix)) << *ready;
    const auto port = static_cast<std::uint16_t>(std::stoi(ready->substr(prefix.size())));
    EXPECT_TRUE(ready->ends_with("; 0 records, 0 not logged")) << *ready;
    UdpPeer device = UdpPeer::BindLoopback();
    device.SendTo(port, "#ST,123;STA:1,2;#");
    const auto answer = device.Receive(kTimeout);
    ASSERT_TRUE(answer) << "the port READY=1 named did not answer";
    EXPECT_EQ(answer->bytes, "@517");
    for (int beat = 0; beat < 3; ++beat) {
        EXPECT_TRUE(notify.WaitFor("WATCHDOG=1", kTimeout)) << "beat " << beat;
    }

    const std::string log = logs + "/" + TodaysLogName();
    const int holder = open(log.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    device.SendTo(port, "#ST,124;STA:1,2;#");
    EXPECT_TRUE(notify.FallsSilent("WATCHDOG=1", kNoBeat, kTimeout))
        << "beats while the log is held";
    EXPECT_FALSE(notify.WaitFor("WATCHDOG=1", kNoBeat)) << "beats while the log is held";
    close(holder);
    EXPECT_TRUE(notify.WaitFor("WATCHDOG=1", kTimeout)) << "no beat once the lock was let go";

    ASSERT_EQ(centre.Signal(SIGTERM), 0);
    EXPECT_TRUE(notify.WaitFor("STOPPING=1", kTimeout));
    EXPECT_EQ(centre.Wait(kTimeout), 0) << centre.Stderr();
}

}  // namespace
}  // namespace tarnwick::test
