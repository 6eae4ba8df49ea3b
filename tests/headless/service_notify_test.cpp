// The headless centre under a service manager, played by the test: a NOTIFY_SOCKET it binds and
// reads. READY=1 names a port that already answers, WATCHDOG=1 keeps coming while the log stage
// goes round and stops while another program's lock holds it, STOPPING=1 comes at the stop.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

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

// The service manager's end of NOTIFY_SOCKET.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& path)
        : m_path(path), m_fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ADD_FAILURE() << "bind " << path << ": " << std::strerror(errno);
        }
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;
    ~NotifySocket() { close(m_fd); }

    [[nodiscard]] const std::string& Path() const { return m_path; }

    // The next message that begins with prefix, skipping others; none within timeout.
    std::optional<std::string> WaitFor(const std::string& prefix,
                                       std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (auto now = std::chrono::steady_clock::now(); now < deadline;
             now = std::chrono::steady_clock::now()) {
            pollfd fd{m_fd, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
            if (poll(&fd, 1, static_cast<int>(left.count()) + 1) <= 0) {
                continue;
            }
            char text[4096];
            const auto n = recv(m_fd, text, sizeof text, 0);
            const std::string message(text, n > 0 ? static_cast<std::size_t>(n) : 0);
            if (n > 0 && message.starts_with(prefix)) {
                return message;
            }
        }
        return std::nullopt;
    }

    // Whether a stretch of quiet with no message beginning with prefix came within kTimeout.
    bool FallsSilent(const std::string& prefix, std::chrono::milliseconds quiet) {
        const auto deadline = std::chrono::steady_clock::now() + kTimeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!WaitFor(prefix, quiet)) {
                return true;
            }
        }
        return false;
    }

private:
    std::string m_path;
    int m_fd;
};

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
    EXPECT_TRUE(notify.FallsSilent("WATCHDOG=1", kNoBeat)) << "beats while the log is held";
    EXPECT_FALSE(notify.WaitFor("WATCHDOG=1", kNoBeat)) << "beats while the log is held";
    close(holder);
    EXPECT_TRUE(notify.WaitFor("WATCHDOG=1", kTimeout)) << "no beat once the lock was let go";

    ASSERT_EQ(centre.Signal(SIGTERM), 0);
    EXPECT_TRUE(notify.WaitFor("STOPPING=1", kTimeout));
    EXPECT_EQ(centre.Wait(kTimeout), 0) << centre.Stderr();
}

}  // namespace
}  // namespace tarnwick::test
