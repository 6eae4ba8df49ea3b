#pragma once

// A line typed on the headless centre's standard input, as the command it stands for.

#include <string_view>

#include "command/command_composer.h"

namespace tarnwick {

struct StdinCommand {
    std::string_view bufferText;  // what the window's sending buffer would hold
    CommandMode mode = CommandMode::Text;
    bool operator==(const StdinCommand&) const = default;
};

// "hex:" followed by hex text ticks " HEX"; any other line is sent as typed.
[[nodiscard]] inline StdinCommand ParseStdinCommand(std::string_view line) {
    constexpr std::string_view kHexPrefix = "hex:";
    if (line.starts_with(kHexPrefix)) {
        return {line.substr(kHexPrefix.size()), CommandMode::Hex};
    }
    return {line, CommandMode::Text};
}

}  // namespace tarnwick
