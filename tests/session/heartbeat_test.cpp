// The log stage's heartbeat is what a watchdog sees: it beats while the stage waits for records
// and stops while the stage is held up, here by another program's lock on the log file.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>

#include "session/session_fixture.h"
#include "support/calendar.h"

namespace tarnwick::enginetest {
namespace {

constexpr auto kBeatEvery = 10ms;

// Whether count stays as it is for quiet; false when it never did within kPatience.
bool StaysStill(const std::atomic<int>& count, std::chrono::milliseconds quiet) {
    return WaitUntil([&] {
        const int before = count.load();
        std::this_thread::sleep_for(quiet);
        return count.load() == before;
    });
}

TEST(HeartbeatTest, BeatsWhileIdleAndStopsWhileAnotherProgramHoldsTheLog) {
    test::TempFolder folder;
    const std::string log = folder.PathOf("Data_logs_0307.txt");
    test::WriteFile(log, "");
    std::atomic<int> beats{0};
    WaitableFrontEnd front;
    SessionConfig config = ConfigFor(log, front.Waker());
    config.clock = [] {  // the day of the file the lock is on
        return LocalTime(test::TmOf(2026, 3, 7));
    };
    config.heartbeat = {[&beats] { ++beats; }, kBeatEvery};
    Session session(std::move(config));
    ASSERT_TRUE(session.Listen(0).ok());
    EXPECT_TRUE(WaitUntil([&] { return beats.load() >= 3; })) << "no beat while idle";

    const int holder = open(log.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    Peer peer;
    peer.SendTo(session.Port(), kRecord);
    EXPECT_TRUE(StaysStill(beats, 5 * kBeatEvery)) << "the held stage went on beating";
    EXPECT_TRUE(front.WaitFor(session, 1, kQuiet).empty());
    const int held = beats.load();
    close(holder);
    ASSERT_EQ(front.WaitFor(session, 1).size(), 1u);
    EXPECT_TRUE(WaitUntil([&] { return beats.load() > held; })) << "no beat once released";
}

}  // namespace
}  // namespace tarnwick::enginetest
