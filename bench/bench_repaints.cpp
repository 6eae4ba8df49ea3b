// bench_repaints: how often a window repaints, seen from outside through the X server's DAMAGE
// extension. The server reports every drawing into the window stamped with its own clock, so a
// watcher that runs late on a busy machine still times the window, not itself. Alongside, the
// window's main thread is sampled for how busy it is, so that a window with nothing to do is not
// taken for a frozen one. Watches the window of a process until SIGTERM or SIGINT, then prints
//
//     repaints N in S s, mean gap M ms, longest gap G ms; gaps over 100 ms: F while busy
//     (longest L ms), I while idle; main thread busy B %
//
// on one line. The first gap begins when watching begins and the last one ends when it ends, so
// a window that stops repainting for good is caught too.
//
//     bench_repaints PID        (on the display named by DISPLAY; needs libXdamage.so.1)

#include <poll.h>
#include <sys/signalfd.h>

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

#include "repaint_gaps.h"
#include "x11_client.h"

// libXdamage's own declarations; its development files are not needed for these three.
using Damage = XID;
extern "C" {
Bool XDamageQueryExtension(Display* display, int* eventBase, int* errorBase);
Status XDamageQueryVersion(Display* display, int* major, int* minor);
Damage XDamageCreate(Display* display, Drawable drawable, int level);
}

namespace {

constexpr int kReportRawRectangles = 0;  // an event for every drawing, not a summary
constexpr int kDamageNotify = 0;         // from the extension's event base
constexpr int kSampleMs = 10;
// Farther apart than this, the server's stamps and this program's clock are not the same clock.
constexpr std::int32_t kClockToleranceMs = 1000;

struct DamageNotifyEvent {
    int type;
    unsigned long serial;
    Bool send_event;
    Display* display;
    Drawable drawable;
    Damage damage;
    int level;
    Bool more;
    Time timestamp;
    XRectangle area;
    XRectangle geometry;
};
static_assert(sizeof(DamageNotifyEvent) <= sizeof(XEvent));

struct Xdamage {
    void* m_library = bench::OpenLibrary("libXdamage.so.1");
    BENCH_FUNCTION(XDamageQueryExtension);
    BENCH_FUNCTION(XDamageQueryVersion);
    BENCH_FUNCTION(XDamageCreate);
};

std::uint32_t MonotonicMs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// The main thread's time on a CPU plus its time waiting for one, from the scheduler.
std::optional<bench::BusySample> SampleBusy(pid_t pid) {
    const std::string pidText = std::to_string(pid);
    std::ifstream schedstat("/proc/" + pidText + "/task/" + pidText + "/schedstat");
    std::uint64_t running = 0;
    std::uint64_t waiting = 0;
    if (!(schedstat >> running >> waiting)) {
        return std::nullopt;
    }
    return bench::BusySample{MonotonicMs(), running + waiting};
}

// Asks for the server's time: a zero-length append to a property comes back stamped.
class Stamper {
public:
    Stamper(const bench::Xlib& x, Display* display)
        : m_x(x),
          m_display(display),
          m_window(
              x.XCreateSimpleWindow(display, x.XDefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0)),
          m_property(x.XInternAtom(display, "BENCH_REPAINTS_STAMP", False)) {
        x.XSelectInput(display, m_window, PropertyChangeMask);
    }
    void Request() {
        m_x.XChangeProperty(m_display, m_window, m_property, XA_STRING, 8, PropModeAppend, nullptr,
                            0);
        m_x.XFlush(m_display);
    }

private:
    const bench::Xlib& m_x;
    Display* m_display;
    Window m_window;
    Atom m_property;
};

// Stop signals arrive as readable data, between X events.
int StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    return signalfd(-1, &signals, SFD_CLOEXEC);
}

int DamageEventBase(const Xdamage& damage, Display* display) {
    int eventBase = 0;
    int errorBase = 0;
    int major = 1;
    int minor = 1;
    if (damage.XDamageQueryExtension(display, &eventBase, &errorBase) == 0 ||
        damage.XDamageQueryVersion(display, &major, &minor) == 0) {
        throw std::runtime_error("the X server has no DAMAGE extension");
    }
    return eventBase;
}

std::optional<pid_t> PidArgument(int argc, char** argv) {
    const std::string_view text = argc == 2 ? argv[1] : "";
    pid_t pid = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (text.empty() || error != std::errc{} || stop != text.data() + text.size() || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

class Watcher {
public:
    Watcher(const bench::Xlib& x, Display* display, int damageNotify, pid_t pid)
        : m_x(x),
          m_display(display),
          m_damageNotify(damageNotify),
          m_pid(pid),
          m_stamper(x, display) {}

    void Run(int signalFd) {
        m_stamper.Request();
        bool stopAsked = false;
        while (!m_stopped) {
            while (!m_stopped && m_x.XPending(m_display) > 0) {
                XEvent event;
                m_x.XNextEvent(m_display, &event);
                Handle(event);
            }
            if (const auto sample = SampleBusy(m_pid)) {
                m_samples.push_back(*sample);
            }
            pollfd fds[2] = {{m_x.XConnectionNumber(m_display), POLLIN, 0}, {signalFd, POLLIN, 0}};
            if (!m_stopped && poll(fds, stopAsked ? 1 : 2, kSampleMs) > 0 &&
                (fds[1].revents & POLLIN) != 0) {
                stopAsked = true;
                m_stamper.Request();
            }
        }
        std::puts(bench::Summarize(m_stamps, m_samples).c_str());
    }

private:
    void Handle(const XEvent& event) {
        if (event.type == m_damageNotify && !m_stamps.empty()) {
            DamageNotifyEvent damage;
            std::memcpy(&damage, &event, sizeof damage);
            // Drawings stamped in the same millisecond are one repaint.
            if (damage.timestamp != m_stamps.back()) {
                m_stamps.push_back(static_cast<std::uint32_t>(damage.timestamp));
            }
        } else if (event.type == PropertyNotify) {
            m_stopped = !m_stamps.empty();
            m_stamps.push_back(Checked(event.xproperty.time));
        }
    }

    static std::uint32_t Checked(Time stamp) {
        const auto serverMs = static_cast<std::uint32_t>(stamp);
        const std::int32_t skew = bench::Since(serverMs, MonotonicMs());
        if (skew > kClockToleranceMs || skew < -kClockToleranceMs) {
            throw std::runtime_error("the X server does not stamp events with CLOCK_MONOTONIC");
        }
        return serverMs;
    }

    const bench::Xlib& m_x;
    Display* m_display;
    int m_damageNotify;
    pid_t m_pid;
    Stamper m_stamper;
    std::vector<std::uint32_t> m_stamps;
    std::vector<bench::BusySample> m_samples;
    bool m_stopped = false;
};

}  // namespace

int main(int argc, char** argv) {
    const std::optional<pid_t> pid = PidArgument(argc, argv);
    if (!pid) {
        std::fputs("usage: bench_repaints PID\n", stderr);
        return 2;
    }
    try {
        const int signalFd = StopSignals();
        const bench::Xlib x;
        const Xdamage damage;
        const bench::Connection connection(x);
        Display* display = connection.get();
        const int damageNotify = DamageEventBase(damage, display) + kDamageNotify;
        damage.XDamageCreate(display, bench::WindowOfProcess(x, display, *pid),
                             kReportRawRectangles);
        Watcher(x, display, damageNotify, *pid).Run(signalFd);
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_repaints: %s\n", failure.what());
        return 1;
    }
}
