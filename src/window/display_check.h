#pragma once

// Whether the window can hope for a display, decided from the environment before the GUI
// toolkit is started: without one the toolkit ends the process with an abort, and the
// operator should rather be told to run headless.

#include <string>

namespace tarnwick {

struct DisplayEnvironment {
    std::string qtPlatform;      // QT_QPA_PLATFORM: "name[:args]", several joined by ';'
    std::string x11Display;      // DISPLAY
    std::string waylandDisplay;  // WAYLAND_DISPLAY
    bool operator==(const DisplayEnvironment&) const = default;

    [[nodiscard]] static DisplayEnvironment OfThisProcess();
};

// False only when every platform the toolkit would try needs a display server that the
// environment does not name. Platforms that need none (offscreen, vnc, linuxfb...) pass.
[[nodiscard]] bool DisplayMayOpen(const DisplayEnvironment& environment);

inline constexpr const char* kNoDisplayMessage =
    "tarnwick: no display could be opened (neither DISPLAY nor WAYLAND_DISPLAY is set); "
    "--headless runs without one\n";

}  // namespace tarnwick
