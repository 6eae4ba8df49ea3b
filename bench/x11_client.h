#pragma once

// What the window benchmark needs from an X server: a connection, the window of a process, and
// a few libX11 calls. The calls are looked up at run time because bench programs link with the
// core alone, and only the window stage has an X server to talk to.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <sys/types.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace bench {

inline void* OpenLibrary(const char* name) {
    void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        throw std::runtime_error(std::string("cannot load ") + name + ": " + dlerror());
    }
    return library;
}

// The function NAME of an open library, typed as its declaration says.
template <typename Function>
Function LoadFunction(void* library, const char* name) {
    void* found = dlsym(library, name);
    if (found == nullptr) {
        throw std::runtime_error(std::string("cannot find ") + name);
    }
    return reinterpret_cast<Function>(found);
}

// A member named after a library function, holding that function.
#define BENCH_FUNCTION(name) \
    decltype(&::name) name = ::bench::LoadFunction<decltype(&::name)>(m_library, #name)

struct Xlib {
    void* m_library = OpenLibrary("libX11.so.6");
    BENCH_FUNCTION(XOpenDisplay);
    BENCH_FUNCTION(XCloseDisplay);
    BENCH_FUNCTION(XDefaultRootWindow);
    BENCH_FUNCTION(XQueryTree);
    BENCH_FUNCTION(XGetWindowAttributes);
    BENCH_FUNCTION(XGetWindowProperty);
    BENCH_FUNCTION(XInternAtom);
    BENCH_FUNCTION(XFree);
    BENCH_FUNCTION(XFlush);
    BENCH_FUNCTION(XPending);
    BENCH_FUNCTION(XNextEvent);
    BENCH_FUNCTION(XConnectionNumber);
    BENCH_FUNCTION(XCreateSimpleWindow);
    BENCH_FUNCTION(XSelectInput);
    BENCH_FUNCTION(XChangeProperty);
};

// The connection to $DISPLAY, closed on destruction.
class Connection {
public:
    explicit Connection(const Xlib& x) : m_x(x), m_display(x.XOpenDisplay(nullptr)) {
        if (m_display == nullptr) {
            throw std::runtime_error("cannot open the X display named by DISPLAY");
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { m_x.XCloseDisplay(m_display); }

    [[nodiscard]] Display* get() const { return m_display; }

private:
    const Xlib& m_x;
    Display* m_display;
};

// The _NET_WM_PID a client put on its window, if any.
inline std::optional<pid_t> WindowPid(const Xlib& x, Display* display, Window window) {
    const Atom property = x.XInternAtom(display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (x.XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format,
                             &count, &after, &data) != Success) {
        return std::nullopt;
    }
    std::optional<pid_t> pid;
    if (data != nullptr && format == 32 && count == 1) {
        long value = 0;  // Xlib hands 32-bit items over as longs
        std::memcpy(&value, data, sizeof value);
        pid = static_cast<pid_t>(value);
    }
    if (data != nullptr) {
        x.XFree(data);
    }
    return pid;
}

inline bool IsShown(const Xlib& x, Display* display, Window window) {
    XWindowAttributes attributes{};
    return x.XGetWindowAttributes(display, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

inline std::optional<Window> FindWindowOf(const Xlib& x, Display* display, pid_t pid) {
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned count = 0;
    if (x.XQueryTree(display, x.XDefaultRootWindow(display), &root, &parent, &children, &count) ==
        0) {
        return std::nullopt;
    }
    std::optional<Window> found;
    for (unsigned i = 0; i < count && !found; ++i) {
        if (WindowPid(x, display, children[i]) == pid && IsShown(x, display, children[i])) {
            found = children[i];
        }
    }
    if (children != nullptr) {
        x.XFree(children);
    }
    return found;
}

// The shown top-level window of process PID; with no window manager on the display, top-level
// windows are the root's children. Waits up to 10 s for the window to be mapped.
inline Window WindowOfProcess(const Xlib& x, Display* display, pid_t pid) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (const std::optional<Window> window = FindWindowOf(x, display, pid)) {
            return *window;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    throw std::runtime_error("process " + std::to_string(pid) + " shows no window");
}

}  // namespace bench
