#include "device_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "command/hex_text.h"
#include "udp_socket.h"

namespace tarnwick::device {
namespace {

// The largest payload a UDP datagram over IPv4 can carry.
constexpr std::uint64_t kMaxUdpPayload = 65507;
constexpr std::uint64_t kMaxSources = 16384;  // one descriptor each: mind `ulimit -n`
constexpr std::uint64_t kMaxWindow = 1 << 20;
constexpr std::uint64_t kMaxBatch = 1024;
constexpr std::uint64_t kMaxWaitMs = 3'600'000;
constexpr double kMaxListenSeconds = 86'400;

// The error text, or nothing when the value was taken.
using Apply = std::optional<std::string> (*)(DeviceOptions&, std::string_view value);

struct OptionSpec {
    std::string_view name;
    bool takes_value;
    Apply apply;
};

std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t min,
                                         std::uint64_t max) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

template <typename Field>
std::optional<std::string> AssignNumber(Field& field, std::string_view option,
                                        std::string_view text, std::uint64_t min,
                                        std::uint64_t max) {
    const auto value = ParseNumber(text, min, max);
    if (!value) {
        return std::string(option) + " needs a whole number from " + std::to_string(min) + " to " +
               std::to_string(max);
    }
    field = static_cast<Field>(*value);
    return std::nullopt;
}

std::optional<std::string> AssignSeconds(std::chrono::milliseconds& field, std::string_view option,
                                         std::string_view text) {
    double seconds = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, seconds);
    if (error != std::errc{} || stop != end || !(seconds >= 0 && seconds <= kMaxListenSeconds)) {
        return std::string(option) + " needs a number of seconds from 0 to 86400";
    }
    field = std::chrono::milliseconds(std::llround(seconds * 1000));
    return std::nullopt;
}

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// The core's conversion stops quietly at the first misfit; a test datagram must not lose bytes
// that way, so the text counts only when every hex digit ended up in a byte.
std::optional<std::string> AssignHex(DeviceOptions& options, std::string_view text) {
    const bool hexAndSpaces =
        std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || IsHexDigit(c); });
    const auto digits =
        static_cast<std::size_t>(std::count_if(text.begin(), text.end(), IsHexDigit));
    const std::vector<std::uint8_t> bytes = HexTextToBytes(text);
    if (!hexAndSpaces || bytes.size() * 2 != digits) {
        return "--datagram-hex needs pairs of hex digits separated by spaces: " + std::string(text);
    }
    options.datagrams.emplace_back(bytes.begin(), bytes.end());
    return std::nullopt;
}

std::optional<std::string> AssignHost(DeviceOptions& options, std::string_view text) {
    const std::string host(text);
    if (!IpAddress(host, 0)) {
        return "--host needs an IPv4 or IPv6 address: " + host;
    }
    options.host = host;
    return std::nullopt;
}

constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();

const OptionSpec kOptions[] = {
    {"--port", true,
     [](DeviceOptions& o, std::string_view v) {
         return AssignNumber(o.port, "--port", v, 1, 65535);
     }},
    {"--host", true, AssignHost},
    {"--record", true,
     [](DeviceOptions& o, std::string_view v) -> std::optional<std::string> {
         o.datagrams.emplace_back(v);
         return std::nullopt;
     }},
    {"--datagram-hex", true, AssignHex},
    {"--count", true,
     [](DeviceOptions& o, std::string_view v) {
         return AssignNumber(o.count, "--count", v, 0, kUnbounded);
     }},
    {"--size", true,
     [](DeviceOptions& o, std::string_view v) {
         return AssignNumber(o.size, "--size", v, 0, kMaxUdpPayload);
     }},
    {"--rate", true,
     [](DeviceOptions& o, std::string_view v) {
         return AssignNumber(o.rate, "--rate", v, 0, kUnbounded);
     }},
    {"--sources", true,
     [](DeviceOptions& o, std::string_view v) {
         return AssignNumber(o.sources, "--sources", v, 1, kMaxSources);
     }},
    {"--window", true,
     [](DeviceOptions& o, std::string_view v) {
         return AssignNumber(o.window, "--window", v, 1, kMaxWindow);
     }},
    {"--batch", true,
     [](DeviceOptions& o, std::string_view v) {
         return AssignNumber(o.batch, "--batch", v, 1, kMaxBatch);
     }},
    {"--wait-ms", true,
     [](DeviceOptions& o, std::string_view v) {
         return AssignNumber(o.wait, "--wait-ms", v, 0, kMaxWaitMs);
     }},
    {"--listen-seconds", true,
     [](DeviceOptions& o, std::string_view v) {
         return AssignSeconds(o.listen, "--listen-seconds", v);
     }},
    {"--expect-replies", false,
     [](DeviceOptions& o, std::string_view) -> std::optional<std::string> {
         o.expect_replies = true;
         return std::nullopt;
     }},
    {"--quiet", false,
     [](DeviceOptions& o, std::string_view) -> std::optional<std::string> {
         o.quiet = true;
         return std::nullopt;
     }},
};

const OptionSpec* FindOption(std::string_view name) {
    const auto* found =
        std::find_if(std::begin(kOptions), std::end(kOptions),
                     [name](const OptionSpec& option) { return option.name == name; });
    return found == std::end(kOptions) ? nullptr : found;
}

ParsedOptions Validated(DeviceOptions options) {
    if (options.port == 0) {
        return UsageError{"--port is required"};
    }
    if (!options.datagrams.empty() && (options.count || options.size)) {
        return UsageError{
            "--count and --size generate records; they do not go with --record or "
            "--datagram-hex"};
    }
    return options;
}

}  // namespace

ParsedOptions ParseDeviceOptions(std::span<const std::string_view> args) {
    DeviceOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            return HelpRequested{};
        }
        const OptionSpec* option = FindOption(arg);
        if (option == nullptr) {
            return UsageError{"unknown option: " + std::string(arg)};
        }
        std::string_view value;
        if (option->takes_value) {
            if (++i == args.size()) {
                return UsageError{"missing value for " + std::string(arg)};
            }
            value = args[i];
        }
        if (auto error = option->apply(options, value)) {
            return UsageError{*std::move(error)};
        }
    }
    return Validated(std::move(options));
}

std::string_view UsageText() {
    return "usage: tarnwick-device --port PORT [--host ADDR]\n"
           "                       [--record TEXT]... [--datagram-hex HEX]...\n"
           "                       [--count N] [--size BYTES] [--rate R] [--sources K] "
           "[--window W]\n"
           "                       [--batch B]\n"
           "                       [--expect-replies] [--wait-ms MS] [--listen-seconds S] "
           "[--quiet]\n"
           "Sends datagrams to the centre at ADDR (IPv4 or IPv6, default 127.0.0.1) port PORT:\n"
           "each --record as given and each --datagram-hex (\"23 53 54 00 23\") as raw bytes,\n"
           "in order, or else N generated device records (default 1), padded to BYTES. Prints\n"
           "each command the centre sends and one report line:\n"
           "\"sent N, replies M, missing K, commands C, seconds T, records/s R\".\n"
           "Only records (\"#ST...#\") are answered; their replies are awaited until MS\n"
           "(default 2000) pass without one, or 500 ms at most without --expect-replies. With it\n"
           "at most W records wait unanswered, a full window that hears nothing for MS takes\n"
           "them as lost, and a missing reply fails the run. Each system call sends or reads\n"
           "at most B datagrams (1 to 1024; by default up to 512 sent and 64 read a call).\n"
           "Exit 0; 1 when expected replies are missing; 2 on bad usage.\n";
}

}  // namespace tarnwick::device
