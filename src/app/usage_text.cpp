#include "app/usage_text.h"

#include <sstream>

#include "app/option_markup.h"
#include "app/option_table.h"

namespace tarnwick {
namespace {

constexpr std::size_t kHelpColumn = 28;
constexpr std::size_t kLineWidth = 79;

// The head, then the text beside it from the help's column, wrapped to the line's width; a head
// too long for the column has the text begin on the next line.
std::string Wrapped(const std::string& head, const std::string& text) {
    std::string wrapped = head;
    std::size_t column = head.size();
    if (column >= kHelpColumn) {
        wrapped += "\n";
        column = 0;
    }
    std::istringstream words(text);
    bool lineHasWords = false;
    for (std::string word; words >> word;) {
        if (lineHasWords && column + 1 + word.size() > kLineWidth) {
            wrapped += "\n";
            column = 0;
            lineHasWords = false;
        }
        const std::size_t gap = lineHasWords ? 1 : kHelpColumn - column;
        wrapped += std::string(gap, ' ') + word;
        column += gap + word.size();
        lineHasWords = true;
    }
    return wrapped + "\n";
}

// "  --name VALUE" and its help: the front end it is only for, the line, the default.
std::string OptionHelp(const OptionRow& row, const Options& defaults) {
    std::string head = "  " + std::string(row.name);
    if (!row.value.empty()) {
        head += " " + std::string(row.value);
    }
    const std::string_view only = FrontEndOnly(row.place);
    std::string help = (only.empty() ? "" : std::string(only) + ": ") + PlainText(row.help);
    if (row.shownDefault != nullptr) {
        help += " (default " + row.shownDefault(defaults) + ")";
    }
    return Wrapped(head, help);
}

// The window's line, the headless centre's and the one of the options that stand alone.
std::string UsageLines() {
    std::string window = "tarnwick";
    std::string headless = "tarnwick";
    std::string alone;
    std::string find = "tarnwick";
    for (const OptionRow& row : OptionTable()) {
        const std::string named =
            std::string(row.name) + (row.value.empty() ? "" : " " + std::string(row.value));
        if (row.place == OptionPlace::HeadlessNeeds) {
            window += " [" + named + "]";
        }
        if (row.place == OptionPlace::HeadlessMark || row.place == OptionPlace::HeadlessNeeds) {
            headless += " " + named;
        }
        if (row.place == OptionPlace::FindMark) {
            find += " " + named;
        }
        if (row.place == OptionPlace::Find) {
            find += " [" + named + "]";
        }
        if (row.place == OptionPlace::Instead) {
            alone += (alone.empty() ? "tarnwick " : " | ") + named;
        }
    }
    return "Usage: " + window + " [OPTIONS]\n       " + headless + " [OPTIONS]\n       " + find +
           " [--log-dir DIR]\n       " + alone + "\n";
}

constexpr std::string_view kAbout =
    "Receives device records as UDP datagrams on PORT, on every local IPv4 and IPv6\n"
    "address or on the one --bind names, logs each one to DIR/Data_logs_MMDD.txt and\n"
    "shows it in the window, or prints it without one. A datagram over 4096 bytes is\n"
    "dropped whole.\n";

constexpr std::string_view kAfterOptions =
    "\n"
    "A DURATION is a whole number and s, min, h or d: 90s, 10min, 24h, 2d.\n"
    "\n"
    "Without a window, each line on standard input is a command for the newest\n"
    "client, sent as \"#517\" followed by the line; a line beginning \"hex:\" is sent\n"
    "as hex text (\"hex:38 38 31\"); hex text that stops being hex before its end\n"
    "sends nothing, an empty command sends nothing, and a line longer than 1528\n"
    "bytes is discarded.\n"
    "  @KEY TEXT   sends TEXT (or hex:...) to the device KEY now\n"
    "  @KEY+ TEXT  holds it for the device's next record, sent after its \"@517\"\n"
    "  @@TEXT      sends @TEXT to the newest client (\"@517\" alone needs no second @)\n"
    "Held commands (held, sent, expired, refused), silent devices and devices\n"
    "reporting again are reported on standard error, one line each.\n"
    "\n"
    "A record's control bytes are logged and shown as \\r, \\n, \\t or \\xHH (ESC \\x1B).\n"
    "An unknown option, a missing value, a PORT that is not such a number, an empty\n"
    "DIR or PATH and a value out of its option's rule are errors: exit status 2.\n"
    "The manual page (man tarnwick) explains every option, the window and the logs.\n";

}  // namespace

std::string UsageText() {
    std::string text = UsageLines() + "\n" + std::string(kAbout) + "\n";
    const Options defaults;
    for (const OptionRow& row : OptionTable()) {
        text += OptionHelp(row, defaults);
    }
    return text + std::string(kAfterOptions);
}

}  // namespace tarnwick
