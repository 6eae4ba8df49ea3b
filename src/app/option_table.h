#pragma once

// The one table of the command line's options. The parser, --help and the manual page's
// SYNOPSIS and OPTIONS all read it, so a new option is a new row and nothing else.

#include <span>
#include <string>
#include <string_view>

#include "app/options.h"

namespace tarnwick {

// Where an option belongs, and so which usage line names it.
enum class OptionPlace {
    Both,           // either front end
    Window,         // the window alone
    Headless,       // the headless centre alone
    HeadlessNeeds,  // either front end, and the headless centre cannot do without it
    HeadlessMark,   // the option that makes the centre headless
    Instead,        // prints and exits, in place of any other option
    FindMark,       // the option that searches the log instead of receiving
    Find,           // what the search looks for
};

// Takes the text into its option; false when the text is no value for it.
using ValueRule = bool (*)(std::string_view text, Options& options);
// The option's default as the command line spells it, from a default Options.
using DefaultText = std::string (*)(const Options& defaults);

// The texts are marked up for both --help and the manual page: `literal` (bold on the page)
// and *placeholder* (italic); --help shows them plain. A flag has a member and no rule.
struct OptionRow {
    std::string_view name;
    std::string_view value = "";  // what the texts call the value; empty for a flag
    OptionPlace place = OptionPlace::Both;
    bool Options::*flag = nullptr;
    ValueRule take = nullptr;
    std::string_view wanted = "";  // what take accepts, for the error
    std::string_view help = "";    // --help's line, wrapped as it is shown
    std::string_view manual = "";  // the manual page's paragraph
    DefaultText shownDefault = nullptr;
};

// In the order --help and the manual page list them.
[[nodiscard]] std::span<const OptionRow> OptionTable();

// The one front end an option means something in, as its texts name it ("the window",
// "headless"); empty for an option of both.
[[nodiscard]] std::string_view FrontEndOnly(OptionPlace place);

}  // namespace tarnwick
