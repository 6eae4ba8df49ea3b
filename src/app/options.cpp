#include "app/options.h"

namespace tarnwick {
namespace {

struct Flag {
    std::string_view name;
    bool Options::*member;
};

struct Valued {
    std::string_view name;
    std::optional<std::string> Options::*member;
};

constexpr Flag kFlags[] = {
    {"--headless", &Options::headless}, {"--auto-reply", &Options::autoReply},
    {"--hex", &Options::hex},           {"--help", &Options::help},
    {"--version", &Options::version},   {"--listen", &Options::listen},
};

constexpr Valued kValued[] = {
    {"--port", &Options::port}, {"--log-dir", &Options::logDir}, {"--max-rows", &Options::maxRows}};

// Takes a valued option at args[i] ("--name value" or "--name=value"); false if it is not one.
bool TakeValued(std::span<const std::string_view> args, std::size_t& i, Options& options,
                std::string& error) {
    const std::string_view arg = args[i];
    for (const Valued& valued : kValued) {
        if (arg == valued.name) {
            if (i + 1 >= args.size()) {
                error = std::string(valued.name) + " needs a value";
                return true;
            }
            options.*valued.member = std::string(args[++i]);
            return true;
        }
        if (arg.starts_with(valued.name) && arg.size() > valued.name.size() &&
            arg[valued.name.size()] == '=') {
            options.*valued.member = std::string(arg.substr(valued.name.size() + 1));
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
    return "Usage: tarnwick [--port PORT] [--listen] [--auto-reply] [--hex] [--log-dir DIR]\n"
           "                [--max-rows N]\n"
           "       tarnwick --headless --port PORT [--auto-reply] [--hex] [--log-dir DIR]\n"
           "       tarnwick --help | --version\n"
           "\n"
           "Receives device records as UDP datagrams on PORT (all local IPv4 addresses;\n"
           "0 lets the system choose), logs each one to DIR/Data_logs_MMDD.txt and shows it\n"
           "in the window, or prints it without one.\n"
           "\n"
           "  --headless     run without a window, until SIGINT or SIGTERM\n"
           "  --port PORT    the UDP port to listen on (the window: fills in \"Port:\")\n"
           "  --listen       the window: press \"Listen\" at start\n"
           "  --auto-reply   answer every valid record with \"@517\"\n"
           "  --hex          also log, in hex, the datagram that follows a record\n"
           "  --log-dir DIR  folder of the daily log files (default: DataLog beside the program,\n"
           "                 or ~/.local/share/tarnwick/DataLog where that cannot be written)\n"
           "  --max-rows N   the window: keep the newest N records in view (default\n"
           "                 1000000); older ones leave it, the log keeps them all\n"
           "  --version      print the version\n"
           "  --help         print this text\n"
           "\n"
           "Without a window, each line on standard input is a command for the newest client,\n"
           "sent as \"#517\" followed by the line; a line beginning \"hex:\" is sent as hex\n"
           "text (\"hex:38 38 31\").\n";
}

}  // namespace tarnwick
