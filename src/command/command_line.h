#pragma once

// The rules a command given as text follows, whatever its source (a line typed on standard
// input, a message from the broker, the operator page): one line, bounded, and not empty, as
// the window's sending buffer can only give one.

#include <cstddef>
#include <optional>
#include <string_view>

#include "command/command_composer.h"

namespace tarnwick {

// The longest command: "hex:" and the largest hex command as the window's example spells it,
// three characters a byte ("38 "), 1,528 bytes. Text commands are held to the same bound, so
// every command fits one datagram; a longer one is no command anyone meant to send.
inline constexpr std::size_t kLongestCommandLine =
    kHexPrefix.size() + 3 * (kSendBufferSize - kCommandPrefix.size());

enum class LineFault {
    Empty,      // nothing to send: the window's SEND is disabled for it
    TooLong,    // over kLongestCommandLine
    LineBreak,  // an LF or a NUL: a device reads one line, and a C string ends at NUL
};

// Why text is no command to send; nothing when it is one.
[[nodiscard]] std::optional<LineFault> CommandLineFault(std::string_view text);

// What a refusal for a fault says, on record and in a broker's result.
inline constexpr std::string_view kRefusedInvalid = "invalid";
inline constexpr std::string_view kRefusedTooLong = "too long";
[[nodiscard]] std::string_view LineFaultWord(LineFault fault);

class Session;

// A line given as a command and refused for fault: on record as typed, for key, "refused: "
// and why.
void RefuseLine(Session& session, std::string_view key, std::string_view text, LineFault fault,
                std::string_view source);

}  // namespace tarnwick
