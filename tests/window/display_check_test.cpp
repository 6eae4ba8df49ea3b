#include "window/display_check.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <optional>
#include <string>

#include "support/process.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

struct DisplayRow {
    const char* proves;
    DisplayEnvironment environment;
    bool mayOpen;
};

TEST(DisplayCheck, NeedsADisplayOnlyWhereEveryPlatformTriedNeedsOne) {
    const DisplayRow rows[] = {
        {"nothing set", {"", "", ""}, false},
        {"an X display", {"", ":0", ""}, true},
        {"a Wayland display", {"", "", "wayland-0"}, true},
        {"xcb asked for, no X display", {"xcb", "", "wayland-0"}, false},
        {"xcb with arguments", {"xcb:nodnd", ":1", ""}, true},
        {"wayland asked for, no Wayland display", {"wayland-egl", ":0", ""}, false},
        {"a fallback that has its display", {"wayland;xcb", ":0", ""}, true},
        {"no fallback has its display", {"wayland;xcb", "", ""}, false},
        {"a platform that needs no display", {"offscreen", "", ""}, true},
        {"vnc", {"vnc:size=800x600", "", ""}, true},
    };
    for (const DisplayRow& row : rows) {
        EXPECT_EQ(DisplayMayOpen(row.environment), row.mayOpen) << row.proves;
    }
}

// Takes a variable out of the environment for the life of the object.
class Unset {
public:
    explicit Unset(const char* name) : m_name(name) {
        if (const char* value = getenv(name)) {
            m_old = value;
        }
        unsetenv(name);
    }
    Unset(const Unset&) = delete;
    Unset& operator=(const Unset&) = delete;
    ~Unset() {
        if (m_old) {
            setenv(m_name, m_old->c_str(), 1);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(DisplayCheck, WithoutADisplayTheWindowSaysSoInOneLineAndExitsWithOne) {
    const Unset display("DISPLAY");
    const Unset wayland("WAYLAND_DISPLAY");
    const Unset platform("QT_QPA_PLATFORM");
    ChildProcess program = ChildProcess::Start({TARNWICK_EXE, "--port", "0"});
    const std::optional<int> status = program.Wait(10s);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 1);
    EXPECT_EQ(program.Stderr(), kNoDisplayMessage);
}

}  // namespace
}  // namespace tarnwick::test
