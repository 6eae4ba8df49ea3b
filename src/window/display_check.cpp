#include "window/display_check.h"

#include <cstdlib>
#include <string_view>

namespace tarnwick {
namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

bool PlatformMayOpen(std::string_view platform, const DisplayEnvironment& environment) {
    const std::string_view name = platform.substr(0, platform.find(':'));
    if (name == "xcb") {
        return !environment.x11Display.empty();
    }
    if (name.starts_with("wayland")) {
        return !environment.waylandDisplay.empty();
    }
    return !name.empty();
}

}  // namespace

DisplayEnvironment DisplayEnvironment::OfThisProcess() {
    return {Variable("QT_QPA_PLATFORM"), Variable("DISPLAY"), Variable("WAYLAND_DISPLAY")};
}

bool DisplayMayOpen(const DisplayEnvironment& environment) {
    if (environment.qtPlatform.empty()) {
        // The toolkit picks X11 or Wayland by the session: either will do if it is named.
        return !environment.x11Display.empty() || !environment.waylandDisplay.empty();
    }
    std::string_view platforms = environment.qtPlatform;
    for (;;) {
        const std::size_t end = platforms.find(';');
        if (PlatformMayOpen(platforms.substr(0, end), environment)) {
            return true;
        }
        if (end == std::string_view::npos) {
            return false;
        }
        platforms.remove_prefix(end + 1);
    }
}

}  // namespace tarnwick
