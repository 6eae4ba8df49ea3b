#include "app/options.h"

#include <arpa/inet.h>

#include <charconv>
#include <limits>
#include <utility>

#include "app/duration_text.h"
#include "session/device_key.h"

namespace tarnwick {
namespace {

// Takes the text into its option; false when the text is no value for it.
using ValueRule = bool (*)(std::string_view text, Options& options);
// What --help shows as an option's default, from a default Options.
using DefaultText = std::string (*)(const Options& defaults);

// A whole decimal number from low to high, nothing else: no sign, blank, prefix or overflow.
std::optional<std::uint64_t> NumberIn(std::string_view text, std::uint64_t low,
                                      std::uint64_t high) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        return std::nullopt;
    }
    return value;
}

template <typename Number, std::uint64_t Low, std::uint64_t High, auto Member>
bool TakeNumber(std::string_view text, Options& options) {
    const auto value = NumberIn(text, Low, High);
    if (value) {
        options.*Member = static_cast<Number>(*value);
    }
    return value.has_value();
}

// An empty path would put the log files at the root, or name no file at all.
template <auto Member>
bool TakePath(std::string_view text, Options& options) {
    if (text.empty()) {
        return false;
    }
    options.*Member = std::string(text);
    return true;
}

template <auto Member>
bool TakeDuration(std::string_view text, Options& options) {
    const auto duration = ParseDurationText(text);
    if (duration) {
        options.*Member = *duration;
    }
    return duration.has_value();
}

bool TakeAddress(std::string_view text, Options& options) {
    options.bind = PeerAddress::FromText(std::string(text), 0);
    return options.bind.has_value();
}

bool TakeDeviceKey(std::string_view text, Options& options) {
    const auto rule = ParseDeviceKeyRule(text);
    if (rule) {
        options.deviceKey = *rule;
    }
    return rule.has_value();
}

// "[ADDR:]PORT": an IPv4 address or an IPv6 one in brackets, then the port.
bool TakeMetrics(std::string_view text, Options& options) {
    MetricsEndpoint endpoint;
    std::string_view port = text;
    if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
        std::string_view address = text.substr(0, colon);
        const int family = address.starts_with('[') && address.ends_with(']') ? AF_INET6 : AF_INET;
        if (family == AF_INET6) {
            address = address.substr(1, address.size() - 2);
        }
        endpoint.address = std::string(address);
        in6_addr parsed{};
        if (inet_pton(family, endpoint.address.c_str(), &parsed) != 1) {
            return false;
        }
        port = text.substr(colon + 1);
    }
    const auto number = NumberIn(port, 0, std::numeric_limits<std::uint16_t>::max());
    if (number) {
        endpoint.port = static_cast<std::uint16_t>(*number);
        options.metrics = std::move(endpoint);
    }
    return number.has_value();
}

bool TakeBrokerUrl(std::string_view text, Options& options) {
    options.mqtt = ParseBrokerUrl(text);
    return options.mqtt.has_value();
}

// One topic level or more, without the wildcards a subscriber uses.
bool TakeTopic(std::string_view text, Options& options) {
    if (text.empty() || text.find_first_of("+#") != std::string_view::npos || text.front() == '/' ||
        text.back() == '/') {
        return false;
    }
    options.mqttTopic = std::string(text);
    return true;
}

// "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM", as the log's headers write it: "YYYY-MM-DD HH:MM:00".
bool TakeReplayFrom(std::string_view text, Options& options) {
    constexpr std::string_view kShape = "dddd-dd-ddTdd:dd";
    if (text.size() != 10 && text.size() != kShape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (kShape[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != kShape[i]) {
            return false;
        }
    }
    std::string time(text.substr(0, 10));
    time += text.size() == 10 ? " 00:00:00" : " " + std::string(text.substr(11)) + ":00";
    options.mqttReplayFrom = time;
    return true;
}

template <auto Member>
std::string NumberDefault(const Options& defaults) {
    return std::to_string(defaults.*Member);
}

template <auto Member>
std::string DurationDefault(const Options& defaults) {
    return DurationText(defaults.*Member);
}

std::string DeviceKeyDefault(const Options& defaults) {
    return DeviceKeyRuleText(defaults.deviceKey);
}

std::string TopicDefault(const Options& defaults) {
    return defaults.mqttTopic;
}

constexpr std::uint64_t kLargestPort = std::numeric_limits<std::uint16_t>::max();
constexpr std::uint64_t kLargestMaxRows = 1'000'000'000;
constexpr std::uint64_t kMostDevices = 10'000'000;
constexpr std::uint64_t kMostHeld = 100'000;
constexpr std::string_view kDurationWanted =
    "a whole number and a unit (s, min, h or d) from 1s to 3650d";

// One row per option, in the order --help lists them. A flag has a member and no rule.
struct OptionRow {
    std::string_view name;
    std::string_view value;  // what --help calls the value; empty for a flag
    bool Options::*flag;
    ValueRule take;
    std::string_view wanted;  // what take accepts, for the error
    std::string_view help;    // lines joined by '\n'
    DefaultText shownDefault;
};

constexpr OptionRow kOptions[] = {
    {"--headless", "", &Options::headless, nullptr, "",
     "run without a window, until SIGINT, SIGTERM or SIGHUP", nullptr},
    {"--port", "PORT", nullptr, TakeNumber<std::uint16_t, 0, kLargestPort, &Options::port>,
     "a number from 0 to 65535",
     "the UDP port to listen on, a decimal number from 0 to 65535; 0 lets the\n"
     "system choose (the window: fills in \"Port:\"); without it nothing listens",
     nullptr},
    {"--bind", "ADDR", nullptr, TakeAddress, "an IPv4 or IPv6 address",
     "listen on this one local address alone, IPv4 (10.0.0.5) or IPv6 (::1);\n"
     "without it, on every local address of both families",
     nullptr},
    {"--reuse-port", "", &Options::reusePort, nullptr, "",
     "one of several centres: share the UDP port with the others (each with\n"
     "its own --log-dir), and with --mqtt hold broker commands for devices\n"
     "not heard yet, dropping a copy once another centre has sent it",
     nullptr},
    {"--listen", "", &Options::listen, nullptr, "", "the window: press \"Listen\" at start",
     nullptr},
    {"--auto-reply", "", &Options::autoReply, nullptr, "",
     "answer every valid record with \"@517\" once it is logged", nullptr},
    {"--hex", "", &Options::hex, nullptr, "",
     "also log, in hex, the datagram that follows a record", nullptr},
    {"--log-dir", "DIR", nullptr, TakePath<&Options::logDir>, "a folder",
     "folder of the daily log files (default: DataLog beside the program,\n"
     "or ~/.local/share/tarnwick/DataLog where that cannot be written)",
     nullptr},
    {"--sync", "", &Options::sync, nullptr, "",
     "flush each batch of log entries to the disk before answering it", nullptr},
    {"--max-rows", "N", nullptr, TakeNumber<std::size_t, 1, kLargestMaxRows, &Options::maxRows>,
     "a number of records from 1 to 1000000000",
     "the window: keep the newest N records in view; older ones leave it,\n"
     "the log keeps them all",
     NumberDefault<&Options::maxRows>},
    {"--device-key", "KEY", nullptr, TakeDeviceKey, "address, ip or field:NAME",
     "what makes a device: address (its address and port), ip (its address\n"
     "alone), or field:NAME (the value of the record's field NAME, as field:ID)",
     DeviceKeyDefault},
    {"--max-devices", "N", nullptr, TakeNumber<std::size_t, 1, kMostDevices, &Options::maxDevices>,
     "a number from 1 to 10000000",
     "devices kept; beyond them the one heard least recently is forgotten\n"
     "(its held commands wait for its key all the same)",
     NumberDefault<&Options::maxDevices>},
    {"--hold-for", "DURATION", nullptr, TakeDuration<&Options::holdFor>, kDurationWanted,
     "how long a held command waits for its device's next record",
     DurationDefault<&Options::holdFor>},
    {"--silent-after", "DURATION", nullptr, TakeDuration<&Options::silentAfter>, kDurationWanted,
     "a device is silent after this long unheard", DurationDefault<&Options::silentAfter>},
    {"--max-held", "N", nullptr, TakeNumber<std::size_t, 1, kMostHeld, &Options::maxHeld>,
     "a number from 1 to 100000", "commands held for one device at most; one more is refused",
     NumberDefault<&Options::maxHeld>},
    {"--devices-file", "PATH", nullptr, TakePath<&Options::devicesFile>, "a file name",
     "headless: the device table as CSV, rewritten whole every 10 seconds\n"
     "and at the stop",
     nullptr},
    {"--metrics", "[ADDR:]PORT", nullptr, TakeMetrics,
     "[ADDR:]PORT: a port from 0 to 65535, after an IPv4 address or an IPv6 one in brackets",
     "serve Prometheus metrics at http://ADDR:PORT/metrics (ADDR: 127.0.0.1\n"
     "unless given; PORT 0: the system chooses)",
     nullptr},
    {"--mqtt", "URL", nullptr, TakeBrokerUrl, "mqtt://HOST[:PORT] or mqtts://HOST[:PORT]",
     "forward every logged record to this MQTT broker (port 1883, or 8883\n"
     "for mqtts:// with TLS), from the log, so an outage loses nothing",
     nullptr},
    {"--mqtt-topic", "PREFIX", nullptr, TakeTopic, "a topic without + or # or an outer /",
     "the topics' prefix: PREFIX/record/KEY, PREFIX/status, ...", TopicDefault},
    {"--mqtt-client-id", "ID", nullptr, TakePath<&Options::mqttClientId>, "a client id",
     "the MQTT client id (default: the host name and the UDP port)", nullptr},
    {"--mqtt-user", "NAME", nullptr, TakePath<&Options::mqttUser>, "a user name",
     "the user name the broker knows (with --mqtt-password-file)", nullptr},
    {"--mqtt-password-file", "PATH", nullptr, TakePath<&Options::mqttPasswordFile>, "a file name",
     "a file whose first line is the password for --mqtt-user", nullptr},
    {"--mqtt-ca", "FILE", nullptr, TakePath<&Options::mqttCa>, "a file name",
     "the CA certificate that signed the mqtts:// broker's (default: the system's)", nullptr},
    {"--mqtt-replay-from", "TIME", nullptr, TakeReplayFrom, "YYYY-MM-DD or YYYY-MM-DDTHH:MM",
     "publish again everything logged from TIME (local), then go on live", nullptr},
    {"--version", "", &Options::version, nullptr, "", "print the version", nullptr},
    {"--help", "", &Options::help, nullptr, "", "print this text", nullptr},
};

// A value that looks like an option is taken for a forgotten value.
bool LooksLikeOption(std::string_view text) {
    return text.starts_with("--");
}

void SetValue(const OptionRow& row, std::string_view text, Options& options, std::string& error) {
    if (!row.take(text, options)) {
        error = std::string(row.name) + " takes " + std::string(row.wanted) + ", not \"" +
                std::string(text) + "\"";
    }
}

// Takes the option at args[i] ("--flag", "--name value" or "--name=value"); false if it is
// none.
bool TakeOption(std::span<const std::string_view> args, std::size_t& i, Options& options,
                std::string& error) {
    const std::string_view arg = args[i];
    for (const OptionRow& row : kOptions) {
        if (row.flag != nullptr && arg == row.name) {
            options.*row.flag = true;
            return true;
        }
        if (row.take == nullptr || !arg.starts_with(row.name)) {
            continue;
        }
        if (arg == row.name) {
            if (i + 1 >= args.size() || LooksLikeOption(args[i + 1])) {
                error = std::string(row.name) + " needs a value";
            } else {
                SetValue(row, args[++i], options, error);
            }
            return true;
        }
        if (arg[row.name.size()] == '=') {
            SetValue(row, arg.substr(row.name.size() + 1), options, error);
            return true;
        }
    }
    return false;
}

// "  --name VALUE" and the help beside it, continuation lines indented to the same column; the
// default goes on a line of its own where the last one has no room for it.
std::string OptionHelp(const OptionRow& row, const Options& defaults) {
    constexpr std::size_t kHelpColumn = 26;
    constexpr std::size_t kHelpWidth = 72;
    std::string head = "  " + std::string(row.name);
    if (!row.value.empty()) {
        head += " " + std::string(row.value);
    }
    head.resize(std::max(head.size() + 1, kHelpColumn), ' ');
    std::string help(row.help);
    if (row.shownDefault != nullptr) {
        const std::string shown = "(default " + row.shownDefault(defaults) + ")";
        const std::size_t lastLine = help.size() - (help.rfind('\n') + 1);
        help += (lastLine + 1 + shown.size() > kHelpWidth ? "\n" : " ") + shown;
    }
    std::string text;
    for (std::size_t start = 0; start <= help.size();) {
        const std::size_t end = std::min(help.find('\n', start), help.size());
        text += (start == 0 ? head : std::string(kHelpColumn, ' ')) +
                help.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return text;
}

// The options that only mean something beside another: the first one missing its partner.
std::string MissingPartner(const Options& o) {
    const std::pair<bool, std::string_view> needMqtt[] = {
        {o.mqttTopic != Options{}.mqttTopic, "--mqtt-topic"},
        {o.mqttClientId.has_value(), "--mqtt-client-id"},
        {o.mqttUser.has_value(), "--mqtt-user"},
        {o.mqttPasswordFile.has_value(), "--mqtt-password-file"},
        {o.mqttCa.has_value(), "--mqtt-ca"},
        {o.mqttReplayFrom.has_value(), "--mqtt-replay-from"}};
    for (const auto& [given, name] : needMqtt) {
        if (given && !o.mqtt) {
            return std::string(name) + " needs --mqtt URL";
        }
    }
    if (o.mqttUser.has_value() != o.mqttPasswordFile.has_value()) {
        return o.mqttUser ? "--mqtt-user needs --mqtt-password-file"
                          : "--mqtt-password-file needs --mqtt-user";
    }
    if (o.mqttCa && !o.mqtt->tls) {
        return "--mqtt-ca needs an mqtts:// URL";
    }
    return "";
}

}  // namespace

ParsedOptions ParseOptions(std::span<const std::string_view> args) {
    ParsedOptions parsed;
    for (std::size_t i = 0; i < args.size() && parsed.error.empty(); ++i) {
        if (!TakeOption(args, i, parsed.options, parsed.error)) {
            parsed.error = "unknown option: " + std::string(args[i]);
        }
    }
    if (parsed.error.empty()) {
        parsed.error = MissingPartner(parsed.options);
    }
    return parsed;
}

std::vector<std::string_view> OptionNames() {
    std::vector<std::string_view> names;
    for (const OptionRow& row : kOptions) {
        names.push_back(row.name);
    }
    return names;
}

std::string UsageText() {
    std::string text =
        "Usage: tarnwick [--port PORT] [--listen] [OPTIONS]\n"
        "       tarnwick --headless --port PORT [OPTIONS]\n"
        "       tarnwick --help | --version\n"
        "\n"
        "Receives device records as UDP datagrams on PORT, on every local IPv4 and IPv6\n"
        "address or on the one --bind names, logs each one to DIR/Data_logs_MMDD.txt and\n"
        "shows it in the window, or prints it without one. A datagram over 4096 bytes is\n"
        "dropped whole.\n"
        "\n";
    const Options defaults;
    for (const OptionRow& row : kOptions) {
        text += OptionHelp(row, defaults);
    }
    text +=
        "A DURATION is a whole number and s, min, h or d: 90s, 10min, 24h, 2d.\n"
        "\n"
        "Without a window, each line on standard input is a command for the newest client,\n"
        "sent as \"#517\" followed by the line; a line beginning \"hex:\" is sent as hex\n"
        "text (\"hex:38 38 31\"); hex text that stops being hex before its end sends\n"
        "nothing, and a line longer than 1528 bytes is discarded.\n"
        "  @KEY TEXT      sends TEXT (or hex:...) to the device KEY now\n"
        "  @KEY+ TEXT     holds it for the device's next record, sent right after its \"@517\"\n"
        "  @@TEXT         sends @TEXT to the newest client (a line \"@517\" needs no second @)\n"
        "Held commands (held, sent, expired, refused), silent devices and devices reporting\n"
        "again are reported on standard error, one line each.\n"
        "\n"
        "A record's control bytes are logged and shown as \\r, \\n, \\t or \\xHH (ESC: \\x1B).\n"
        "An unknown option, a missing value, a PORT that is not such a number, an empty\n"
        "DIR or PATH and a value out of its option's rule are errors: exit status 2.\n";
    return text;
}

}  // namespace tarnwick
