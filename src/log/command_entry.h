#pragma once

// One line of the command journal: what became of one command, when, from where. A command
// keeps its id from the moment it is given to its last state, across restarts, so its lines
// are read together. The line's own format is here too, written and read in one place:
//
//   TIME <tab> ID <tab> KEY <tab> STATE <tab> SOURCE <tab> TEXT <tab> @EPOCH[ boot=B up=U left=L]
//
// TIME is the local "YYYY-MM-DD HH:MM:SS" as the log's headers have it; KEY, SOURCE and TEXT
// have their control bytes escaped and their backslashes doubled (EscapeReversibly), so a line
// is one line and the text reads back as typed. EPOCH is the same time in seconds since 1970;
// boot, up and left come with the lines of a held command: the boot it was held in, the
// seconds since that boot, and the seconds it had left to wait then.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// The states a command's lines say. Held, Restored and Sending leave it open; every other
// state settles it. NotSent, Refused and Unknown are followed by ": " and why.
namespace command_state {
inline constexpr std::string_view kHeld = "held";
inline constexpr std::string_view kRestored = "restored";  // held again at a start
inline constexpr std::string_view kSending = "sending";
inline constexpr std::string_view kSent = "sent";
inline constexpr std::string_view kExpired = "expired";
inline constexpr std::string_view kCancelled = "cancelled";
inline constexpr std::string_view kSentElsewhere = "sent by another centre";
inline constexpr std::string_view kNotSent = "not sent";
inline constexpr std::string_view kRefused = "refused";
inline constexpr std::string_view kUnknown = "unknown: the centre stopped while sending it";
}  // namespace command_state

// Where a held command stands on a clock that no wall-clock step moves.
struct HoldClock {
    std::string boot;            // the system's boot id
    std::int64_t upSeconds = 0;  // since that boot, suspends included
    std::int64_t leftSeconds = 0;
    bool operator==(const HoldClock&) const = default;
};

struct CommandEntry {
    std::time_t at = 0;
    std::uint64_t id = 0;
    std::string key;
    std::string state;   // one of command_state's, with its reason
    std::string source;  // "window", "stdin", "broker URL id ID", "page ADDRESS"
    std::string text;    // as typed: "hex:" before hex text
    std::optional<HoldClock> clock;
    bool operator==(const CommandEntry&) const = default;
};

// True for a state after which nothing more becomes of the command.
[[nodiscard]] bool Settles(std::string_view state);

// The line, with its line feed.
[[nodiscard]] std::string CommandLine(const CommandEntry& entry);
// line without its line feed; nothing for a line torn by a stop or not the journal's.
[[nodiscard]] std::optional<CommandEntry> CommandEntryOf(std::string_view line);

}  // namespace tarnwick
