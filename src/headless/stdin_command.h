#pragma once

// A line typed on the headless centre's standard input, as the command it stands for.

#include <string_view>

#include "command/command_composer.h"
#include "command/command_line.h"

namespace tarnwick {

// Where a line's command goes.
enum class StdinTarget {
    Newest,  // a plain line: the newest client, as ever
    Device,  // "@KEY text": the device KEY, now
    Held,    // "@KEY+ text": the device KEY, right after its next report
};

struct StdinLine {
    StdinTarget target = StdinTarget::Newest;
    std::string_view key;   // Device and Held
    std::string_view text;  // the command as typed, "hex:" included
    CommandBody command;
    bool operator==(const StdinLine&) const = default;
};

// "@KEY text" and "@KEY+ text": a non-empty KEY without blanks right after the "@", then one
// blank. "@@" begins a plain command that begins with one "@" ("@@517 X" sends "@517 X" to the
// newest client). Every other line, "@517" among them, is a plain command as typed.
[[nodiscard]] StdinLine ParseStdinLine(std::string_view line);

}  // namespace tarnwick
