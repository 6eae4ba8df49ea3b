#include "app/options.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "app/duration_text.h"
#include "app/max_rows.h"
#include "session/device_key.h"

namespace tarnwick {
namespace {

// Takes the text into its option; false when the text is no value for it.
using ValueRule = bool (*)(std::string_view text, Options& options);

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

bool TakePort(std::string_view text, Options& options) {
    const auto value = NumberIn(text, 0, std::numeric_limits<std::uint16_t>::max());
    if (value) {
        options.port = std::to_string(*value);
    }
    return value.has_value();
}

// An empty path would put the log files at the root, or name no file at all.
bool TakePath(std::string_view text, std::optional<std::string>& into) {
    if (text.empty()) {
        return false;
    }
    into = std::string(text);
    return true;
}

bool TakeLogDir(std::string_view text, Options& options) {
    return TakePath(text, options.logDir);
}

bool TakeDevicesFile(std::string_view text, Options& options) {
    return TakePath(text, options.devicesFile);
}

bool TakeDeviceKey(std::string_view text, Options& options) {
    const auto rule = ParseDeviceKeyRule(text);
    if (rule) {
        options.deviceKey = *rule;
    }
    return rule.has_value();
}

constexpr std::uint64_t kMostDevices = 10'000'000;

bool TakeMaxDevices(std::string_view text, Options& options) {
    const auto value = NumberIn(text, 1, kMostDevices);
    if (value) {
        options.maxDevices = static_cast<std::size_t>(*value);
    }
    return value.has_value();
}

bool TakeDuration(std::string_view text, std::chrono::seconds& into) {
    const auto duration = ParseDurationText(text);
    if (duration) {
        into = *duration;
    }
    return duration.has_value();
}

bool TakeHoldFor(std::string_view text, Options& options) {
    return TakeDuration(text, options.holdFor);
}

bool TakeSilentAfter(std::string_view text, Options& options) {
    return TakeDuration(text, options.silentAfter);
}

bool TakeMaxRows(std::string_view text, Options& options) {
    if (!ParseMaxRows(std::string(text)).error.empty()) {
        return false;
    }
    options.maxRows = std::string(text);
    return true;
}

struct Flag {
    std::string_view name;
    bool Options::*member;
};

struct Valued {
    std::string_view name;
    ValueRule rule;
    std::string_view wanted;  // what the rule takes, for the error
};

constexpr Flag kFlags[] = {
    {"--headless", &Options::headless}, {"--auto-reply", &Options::autoReply},
    {"--hex", &Options::hex},           {"--help", &Options::help},
    {"--version", &Options::version},   {"--listen", &Options::listen},
    {"--sync", &Options::sync},
};

constexpr std::string_view kDurationWanted =
    "a whole number and a unit (s, min, h or d) from 1s to 3650d";

constexpr Valued kValued[] = {
    {"--port", TakePort, "a number from 0 to 65535"},
    {"--log-dir", TakeLogDir, "a folder"},
    {"--max-rows", TakeMaxRows, "a number of records from 1 to 1000000000"},
    {"--device-key", TakeDeviceKey, "address, ip or field:NAME"},
    {"--max-devices", TakeMaxDevices, "a number from 1 to 10000000"},
    {"--hold-for", TakeHoldFor, kDurationWanted},
    {"--silent-after", TakeSilentAfter, kDurationWanted},
    {"--devices-file", TakeDevicesFile, "a file name"},
};

// A value that looks like an option is taken for a forgotten value.
bool LooksLikeOption(std::string_view text) {
    return text.starts_with("--");
}

void SetValue(const Valued& valued, std::string_view text, Options& options, std::string& error) {
    if (valued.rule(text, options)) {
        return;
    }
    error = std::string(valued.name) + " takes " + std::string(valued.wanted) + ", not \"" +
            std::string(text) + "\"";
}

// Takes a valued option at args[i] ("--name value" or "--name=value"); false if it is not one.
bool TakeValued(std::span<const std::string_view> args, std::size_t& i, Options& options,
                std::string& error) {
    const std::string_view arg = args[i];
    for (const Valued& valued : kValued) {
        if (arg == valued.name) {
            if (i + 1 >= args.size() || LooksLikeOption(args[i + 1])) {
                error = std::string(valued.name) + " needs a value";
                return true;
            }
            SetValue(valued, args[++i], options, error);
            return true;
        }
        if (arg.starts_with(valued.name) && arg.size() > valued.name.size() &&
            arg[valued.name.size()] == '=') {
            SetValue(valued, arg.substr(valued.name.size() + 1), options, error);
            return true;
        }
    }
    return false;
}

bool TakeFlag(std::string_view arg, Options& options) {
    for (const Flag& flag : kFlags) {
        if (arg == flag.name) {
            options.*flag.member = true;
            return true;
        }
    }
    return false;
}

}  // namespace

ParsedOptions ParseOptions(std::span<const std::string_view> args) {
    ParsedOptions parsed;
    for (std::size_t i = 0; i < args.size() && parsed.error.empty(); ++i) {
        if (!TakeFlag(args[i], parsed.options) &&
            !TakeValued(args, i, parsed.options, parsed.error)) {
            parsed.error = "unknown option: " + std::string(args[i]);
        }
    }
    return parsed;
}

std::string UsageText() {
    return "Usage: tarnwick [--port PORT] [--listen] [--auto-reply] [--hex] [--log-dir DIR] "
           "[--sync]\n"
           "               [--max-rows N] [DEVICE OPTIONS]\n"
           "       tarnwick --headless --port PORT [--auto-reply] [--hex] [--log-dir DIR] "
           "[--sync]\n"
           "               [DEVICE OPTIONS] [--devices-file PATH]\n"
           "       tarnwick --help | --version\n"
           "\n"
           "Receives device records as UDP datagrams on PORT (all local IPv4 addresses;\n"
           "0 lets the system choose), logs each one to DIR/Data_logs_MMDD.txt and shows it\n"
           "in the window, or prints it without one.\n"
           "\n"
           "  --headless     run without a window, until SIGINT, SIGTERM or SIGHUP\n"
           "  --port PORT    the UDP port to listen on, a decimal number from 0 to 65535\n"
           "                 (the window: fills in \"Port:\")\n"
           "  --listen       the window: press \"Listen\" at start\n"
           "  --auto-reply   answer every valid record with \"@517\"\n"
           "  --hex          also log, in hex, the datagram that follows a record\n"
           "  --log-dir DIR  folder of the daily log files (default: DataLog beside the program,\n"
           "                 or ~/.local/share/tarnwick/DataLog where that cannot be written)\n"
           "  --sync         flush each batch of log entries to the disk before answering it\n"
           "  --max-rows N   the window: keep the newest N records in view (default\n"
           "                 1000000); older ones leave it, the log keeps them all\n"
           "  --version      print the version\n"
           "  --help         print this text\n"
           "\n"
           "Device options:\n"
           "  --device-key KEY        what makes a device: address (its address and port, the\n"
           "                          default), ip (its address alone), or field:NAME (the\n"
           "                          value of the record's field NAME, as field:ID)\n"
           "  --max-devices N         devices kept, 1 to 10000000 (default 100000); beyond\n"
           "                          them the one heard least recently is forgotten\n"
           "  --hold-for DURATION     how long a held command waits (default 24h)\n"
           "  --silent-after DURATION a device is silent after this long unheard (default 10min)\n"
           "  --devices-file PATH     headless: the device table as CSV, rewritten whole\n"
           "                          every 10 seconds and at the stop\n"
           "A DURATION is a whole number and s, min, h or d: 90s, 10min, 24h, 2d.\n"
           "\n"
           "Without a window, each line on standard input is a command for the newest client,\n"
           "sent as \"#517\" followed by the line; a line beginning \"hex:\" is sent as hex\n"
           "text (\"hex:38 38 31\"); hex text that stops being hex before its end sends\n"
           "nothing, and a line longer than 1528 bytes is discarded.\n"
           "  @KEY TEXT      sends TEXT (or hex:...) to the device KEY now\n"
           "  @KEY+ TEXT     holds it for the device's next record, sent right after its \"@517\"\n"
           "  @@TEXT         sends @TEXT to the newest client (a line \"@517\" needs no second @)\n"
           "Held commands (held, sent, expired), silent devices and devices reporting again are\n"
           "reported on standard error, one line each.\n"
           "\n"
           "A record's control bytes are logged and shown as \\r, \\n, \\t or \\xHH (ESC: \\x1B).\n"
           "An unknown option, a missing value, a PORT that is not such a number, an empty\n"
           "DIR or PATH and a device option's value out of its rule are errors: exit status 2.\n";
}

}  // namespace tarnwick
