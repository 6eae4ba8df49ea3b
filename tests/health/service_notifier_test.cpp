#include "health/service_notifier.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <thread>

#include "support/notify_socket.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

constexpr auto kPatience = 5s;
constexpr auto kStatusEvery = 100ms;

// What a service manager would set; unset again when the test ends.
class ManagerEnvironment {
public:
    ManagerEnvironment(const std::string& socket, const char* watchdogUsec) {
        setenv("NOTIFY_SOCKET", socket.c_str(), 1);
        setenv("WATCHDOG_USEC", watchdogUsec, 1);
    }
    ManagerEnvironment(const ManagerEnvironment&) = delete;
    ManagerEnvironment& operator=(const ManagerEnvironment&) = delete;
    ~ManagerEnvironment() {
        unsetenv("NOTIFY_SOCKET");
        unsetenv("WATCHDOG_USEC");
    }
};

TEST(ServiceNotifierTest, ReadyOnceItHoldsStatusOnItsBeatWatchdogOnlyForBeatsStoppingLast) {
    test::TempFolder temp;
    test::NotifySocket manager(temp.PathOf("notify"));
    const ManagerEnvironment environment(manager.Path(), "100000");
    ServiceNotifier notifier(kStatusEvery);
    EXPECT_EQ(notifier.BeatEvery(), 25ms);  // a quarter of the watchdog's timeout

    std::atomic<bool> ready{false};
    std::atomic<int> asked{0};
    notifier.Start({[&] {
                        ++asked;
                        return ready.load();
                    },
                    [] { return std::string("fine"); }});
    while (asked.load() < 3) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_FALSE(manager.WaitFor("", 0ms)) << "told something before it was ready";
    ready = true;
    EXPECT_EQ(manager.WaitFor("READY=1", kPatience), "READY=1\nSTATUS=fine");
    EXPECT_EQ(manager.WaitFor("STATUS=", kPatience), "STATUS=fine");
    EXPECT_FALSE(manager.WaitFor("WATCHDOG=1", 3 * kStatusEvery)) << "a watchdog without beats";
    notifier.Beat();
    EXPECT_TRUE(manager.WaitFor("WATCHDOG=1", kPatience));
    notifier.Stop();
    EXPECT_TRUE(manager.WaitFor("STOPPING=1", kPatience));
}

}  // namespace
}  // namespace tarnwick
