#pragma once

// How long, as the command line spells it: a whole number and a unit, "90s", "10min", "24h",
// "2d".

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// The longest duration taken: ten years of 365 days, well inside what a time_t sum can hold.
inline constexpr std::chrono::seconds kLongestDuration = std::chrono::hours(24 * 3650);

// A number from 1 followed at once by s, min, h or d, up to kLongestDuration; nothing for any
// other text (no sign, blank, fraction or other unit).
[[nodiscard]] std::optional<std::chrono::seconds> ParseDurationText(std::string_view text);

// The duration as ParseDurationText reads it back, in the largest unit that divides it: "1d",
// "36h", "10min", "90s".
[[nodiscard]] std::string DurationText(std::chrono::seconds duration);

}  // namespace tarnwick
