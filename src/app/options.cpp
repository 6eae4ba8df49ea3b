#include "app/options.h"

#include "app/max_rows.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace tarnwick {
namespace {

// What a valued option keeps of its text: nullopt when the text is no value for it.
using ValueRule = std::optional<std::string> (*)(std::string_view text);

// A decimal number from 0 to 65535, nothing else: no sign, blank, prefix or overflow.
std::optional<std::string> PortValue(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        value > std::numeric_limits<std::uint16_t>::max()) {
        return std::nullopt;
    }
    return std::to_string(value);
}

// An empty folder would put the log files at the root.
std::optional<std::string> FolderValue(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    return std::string(text);
}

std::optional<std::string> MaxRowsValue(std::string_view text) {
    if (!ParseMaxRows(std::string(text)).error.empty()) {
        return std::nullopt;
    }
    return std::string(text);
}

struct Flag {
    std::string_view name;
    bool Options::*member;
};

struct Valued {
    std::string_view name;
    std::optional<std::string> Options::*member;
    ValueRule rule;
    std::string_view wanted;  // what the rule takes, for the error
};

constexpr Flag kFlags[] = {
    {"--headless", &Options::headless}, {"--auto-reply", &Options::autoReply},
    {"--hex", &Options::hex},           {"--help", &Options::help},
    {"--version", &Options::version},   {"--listen", &Options::listen},
    {"--sync", &Options::sync},
};

constexpr Valued kValued[] = {
    {"--port", &Options::port, PortValue, "a number from 0 to 65535"},
    {"--log-dir", &Options::logDir, FolderValue, "a folder"},
    {"--max-rows", &Options::maxRows, MaxRowsValue, "a number of records from 1 to 1000000000"},
};

// A value that looks like an option is taken for a forgotten value.
bool LooksLikeOption(std::string_view text) {
    return text.starts_with("--");
}

void SetValue(const Valued& valued, std::string_view text, Options& options, std::string& error) {
    if (auto value = valued.rule(text)) {
        options.*valued.member = std::move(value);
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
    return "Usage: tarnwick [--port PORT] [--listen] [--auto-reply] [--hex] [--log-dir DIR] [--sync]\n"
           "                [--max-rows N]\n"
           "       tarnwick --headless --port PORT [--auto-reply] [--hex] [--log-dir DIR] [--sync]\n"
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
           "Without a window, each line on standard input is a command for the newest client,\n"
           "sent as \"#517\" followed by the line; a line beginning \"hex:\" is sent as hex\n"
           "text (\"hex:38 38 31\"); hex text that stops being hex before its end sends\n"
           "nothing, and a line longer than 1528 bytes is discarded.\n"
           "\n"
           "A record's control bytes are logged and shown as \\r, \\n, \\t or \\xHH (ESC: \\x1B).\n"
           "An unknown option, a missing value, a PORT that is not such a number and an empty\n"
           "DIR are errors: exit status 2.\n";
}

}  // namespace tarnwick
