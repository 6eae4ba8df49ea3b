#pragma once

// The command line: the options both front ends take, each parsed once into its type. One
// table (option_table.cpp) drives the parsing, the errors, --help and the manual page.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "forward/broker_url.h"
#include "net/peer_address.h"
#include "session/device_table.h"

namespace tarnwick {

inline constexpr std::size_t kDefaultMaxRows = 1'000'000;

// How --find prints what it found: the log's own lines, CSV or JSON Lines.
enum class FindFormat { Text, Csv, Jsonl };

// Where an HTTP server of the centre listens: --metrics, --web.
struct HttpEndpoint {
    std::string address = "127.0.0.1";  // IPv4 or IPv6, as inet_pton reads it
    std::uint16_t port = 0;
    bool operator==(const HttpEndpoint&) const = default;
};

struct Options {
    bool headless = false;
    bool autoReply = false;  // --auto-reply: "Automatic reply with @517" ticked
    bool hex = false;        // --hex: " Hex" of the live display ticked
    bool help = false;
    bool version = false;
    std::optional<std::uint16_t> port = {};  // 0: the system chooses
    std::optional<PeerAddress> bind = {};    // --bind: the one local address to listen on
    bool ipv6Only = false;                   // --ipv6-only: IPv4 senders are not heard
    bool reusePort = false;  // --reuse-port: one of several centres on one port, one broker
    std::optional<std::string> logDir = {};  // never empty; default: "DataLog" beside the program
    bool listen = false;                     // --listen: the window presses "Listen" once it is up
    bool sync = false;                       // --sync: log entries reach the disk before answers
    std::size_t maxRows = kDefaultMaxRows;   // the window's live display keeps this many records
    // What makes a device and how long things last for it; the defaults are the session's.
    DeviceKeyRule deviceKey = DeviceSettings{}.key;
    std::size_t maxDevices = DeviceSettings{}.maxDevices;
    std::chrono::seconds holdFor = DeviceSettings{}.holdFor;
    std::chrono::seconds silentAfter = DeviceSettings{}.silentAfter;
    std::size_t maxHeld = DeviceSettings{}.maxHeld;
    std::chrono::seconds resendWindow = DeviceSettings{}.resendWindow;  // 0: no resends
    std::optional<std::string> devicesFile = {};  // --devices-file: the device table as CSV
    std::optional<HttpEndpoint> metrics = {};     // --metrics: where the page is served
    std::optional<HttpEndpoint> web = {};         // --web: the operator page
    std::optional<std::string> webTokenFile = {};
    std::optional<std::string> webCert = {};  // PEM files: the page over TLS
    std::optional<std::string> webKey = {};
    bool webInsecure = false;  // --web-insecure: plain HTTP beyond loopback
    // --mqtt: every logged record to this broker, and commands from it.
    std::optional<BrokerUrl> mqtt = {};
    std::string mqttTopic = "tarnwick";
    std::optional<std::string> mqttClientId = {};  // default: host name and UDP port
    std::optional<std::string> mqttUser = {};
    std::optional<std::string> mqttPasswordFile = {};  // never the password itself
    std::optional<std::string> mqttCa = {};
    std::optional<std::string> mqttReplayFrom = {};  // "YYYY-MM-DD HH:MM:SS", as the log has it
    bool mqttSkipResends = false;                    // resends are not forwarded
    // The log folder's upkeep: days after which day files are compressed or deleted.
    std::optional<int> compressAfter = {};
    std::optional<int> deleteAfter = {};
    bool deleteUnforwarded = false;
    std::optional<std::uint64_t> minFree = {};  // bytes; default: 1 GiB or 5 % of the disk
    // --find: entries from findFrom on and before findTo, as the log's headers write times
    // (a day given to --to reaches to its end: "YYYY-MM-DD 24:00:00").
    bool find = false;
    std::optional<std::string> findFrom = {};
    std::optional<std::string> findTo = {};
    std::optional<std::string> findDevice = {};
    std::optional<std::string> findGrep = {};
    FindFormat findFormat = FindFormat::Text;
    bool operator==(const Options&) const = default;

    [[nodiscard]] DeviceSettings Devices() const {
        return {deviceKey, maxDevices, holdFor, silentAfter, maxHeld, resendWindow};
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

}  // namespace tarnwick
