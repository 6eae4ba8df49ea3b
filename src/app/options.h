#pragma once

// The command line: the headless mode's options, which the window accepts too.

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "session/device_table.h"

namespace tarnwick {

struct Options {
    bool headless = false;
    bool autoReply = false;  // --auto-reply: "Automatic reply with @517" ticked
    bool hex = false;        // --hex: " Hex" of the live display ticked
    bool help = false;
    bool version = false;
    std::optional<std::string> port = {};    // decimal, 0 to 65535 (0: the system chooses)
    std::optional<std::string> logDir = {};  // never empty; default: "DataLog" beside the program
    bool listen = false;                     // --listen: the window presses "Listen" once it is up
    bool sync = false;                       // --sync: log entries reach the disk before answers
    std::optional<std::string> maxRows = std::nullopt;
    // What makes a device and how long things last for it (--device-key, --max-devices,
    // --hold-for, --silent-after); the defaults are the session's.
    DeviceKeyRule deviceKey = DeviceSettings{}.key;
    std::size_t maxDevices = DeviceSettings{}.maxDevices;
    std::chrono::seconds holdFor = DeviceSettings{}.holdFor;
    std::chrono::seconds silentAfter = DeviceSettings{}.silentAfter;
    std::optional<std::string> devicesFile = {};  // --devices-file: the device table as CSV
    bool operator==(const Options&) const = default;

    [[nodiscard]] DeviceSettings Devices() const {
        return {deviceKey, maxDevices, holdFor, silentAfter};
    }
};

struct ParsedOptions {
    Options options;
    std::string error;  // empty when the command line was understood
    bool operator==(const ParsedOptions&) const = default;
};

// args: the arguments after the program name. "--port 5000" and "--port=5000" both work; a
// value that is not one for its option, or that begins with "--", is an error.
[[nodiscard]] ParsedOptions ParseOptions(std::span<const std::string_view> args);

[[nodiscard]] std::string UsageText();

}  // namespace tarnwick
