#pragma once

// The command line of tarnwick-device, parsed into a value. Pure: no I/O, no global state.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tarnwick::device {

struct DeviceOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;
    // The bytes of every --record and --datagram-hex, in command-line order.
    std::vector<std::string> datagrams;
    std::optional<std::uint64_t> count;  // generated records; 1 when neither this nor datagrams
    std::optional<std::size_t> size;     // generated records are padded to this many bytes
    std::uint64_t rate = 0;              // datagrams per second; 0: no limit
    std::size_t sources = 1;
    std::uint64_t window = 256;
    // Datagrams per sendmmsg and per recvmmsg call at most; unset, sending takes up to
    // kDefaultSendBatch a call and reading kDefaultReadBatch.
    std::optional<unsigned> batch;
    bool expect_replies = false;
    std::chrono::milliseconds wait{2000};
    std::chrono::milliseconds listen{0};
    bool quiet = false;

    bool operator==(const DeviceOptions&) const = default;
};

struct UsageError {
    std::string message;
    bool operator==(const UsageError&) const = default;
};

struct HelpRequested {
    bool operator==(const HelpRequested&) const = default;
};

using ParsedOptions = std::variant<DeviceOptions, UsageError, HelpRequested>;

// args: the arguments after the program name.
[[nodiscard]] ParsedOptions ParseDeviceOptions(std::span<const std::string_view> args);

[[nodiscard]] std::string_view UsageText();

}  // namespace tarnwick::device
