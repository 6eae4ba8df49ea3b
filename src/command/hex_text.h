#pragma once

// Hex text typed by an operator ("38 38 31 02 02") into bytes.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tarnwick {

struct HexConversion {
    std::vector<std::uint8_t> bytes;
    std::size_t stoppedAt = 0;  // where conversion ended: the text's size when it read it all
    bool operator==(const HexConversion&) const = default;
};

// The value of one hex digit, either case; -1 for any other character.
[[nodiscard]] int HexValue(char c);

// HexTextToBytes, and the position of the pair (or lone final digit) that ended it.
[[nodiscard]] HexConversion ConvertHexText(std::string_view text);

// Pairs of adjacent hex digits (either case), spaces (0x20 only) skipped between pairs.
// Conversion stops silently at the first character that does not fit, and at a lone final
// digit; the result holds exactly the bytes converted before that point (its size is the count).
[[nodiscard]] std::vector<std::uint8_t> HexTextToBytes(std::string_view text);

}  // namespace tarnwick
