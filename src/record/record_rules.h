#pragma once

// The text rules that sort a datagram: what a device record is, its code field,
// how its field values are cut, and how raw bytes are rendered as hex text.
// Pure functions: no state, no allocation beyond their result, never fail.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarnwick {

// The datagram's bytes up to, not including, the first zero byte (all of them when there is none).
[[nodiscard]] std::string_view DatagramText(std::span<const std::uint8_t> bytes);

// Begins with "#ST" and ends with "#" (so at least four characters).
[[nodiscard]] bool IsDeviceRecord(std::string_view text);

// A device record whose fourth character is ":" is ignored by the receive loop.
[[nodiscard]] bool IsIgnoredRecord(std::string_view text);

// From after the first "," for (first ";" - first "," - 1) characters; empty when that is
// negative, cut at the end of the text.
[[nodiscard]] std::string_view CodeField(std::string_view text);

// True when the first three characters are decimal digits (false for shorter texts).
[[nodiscard]] bool IsThreeDigits(std::string_view text);

// Exactly three decimal digits.
[[nodiscard]] bool IsValidCodeField(std::string_view field);

// The record with every field value (":" to ";" after an "ST") cut at its first ",".
[[nodiscard]] std::string TrimFieldValues(std::string_view text);

// "%02X " per byte, "\r\n" after every 16th byte.
[[nodiscard]] std::string HexDump(std::span<const std::uint8_t> bytes);

}  // namespace tarnwick
