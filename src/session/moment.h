#pragma once

// A moment as the device table needs it: the steady clock for every duration (a held command's
// expiry, a device's silence), the wall clock only for the times shown. A clock stepped back or
// forward moves what is shown, never what is due.

#include <chrono>
#include <ctime>

namespace tarnwick {

struct Moment {
    std::chrono::steady_clock::time_point steady{};
    std::time_t wall = 0;

    [[nodiscard]] static Moment Now() {
        return {std::chrono::steady_clock::now(), std::time(nullptr)};
    }
};

}  // namespace tarnwick
