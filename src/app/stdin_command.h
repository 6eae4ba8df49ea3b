#pragma once

// A line typed on the headless centre's standard input, as the command it stands for.

#include <cstddef>
#include <string_view>

#include "command/command_composer.h"

namespace tarnwick {

inline constexpr std::string_view kStdinHexPrefix = "hex:";

// The longest line that is read as a command: "hex:" and the largest hex command as the
// window's example spells it, three characters a byte ("38 "), 1,528 bytes. Text commands are
// held to the same bound; a longer line is no command anyone meant to send.
inline constexpr std::size_t kLongestCommandLine =
    kStdinHexPrefix.size() + 3 * (kSendBufferSize - kCommandPrefix.size());

struct StdinCommand {
    std::string_view bufferText;  // what the window's sending buffer would hold
    CommandMode mode = CommandMode::Text;
    bool operator==(const StdinCommand&) const = default;
};

// "hex:" followed by hex text ticks " HEX"; any other line is sent as typed.
[[nodiscard]] inline StdinCommand ParseStdinCommand(std::string_view line) {
    if (line.starts_with(kStdinHexPrefix)) {
        return {line.substr(kStdinHexPrefix.size()), CommandMode::Hex};
    }
    return {line, CommandMode::Text};
}

}  // namespace tarnwick
