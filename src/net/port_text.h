#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnwick {

// The listening port as the operator typed it: nullopt for an empty text; otherwise the text
// read the way atoi reads it (leading blanks, an optional sign, digits up to the first other
// character, 0 without digits), keeping the low 16 bits. 0 lets the system choose.
[[nodiscard]] std::optional<std::uint16_t> ParsePortText(std::string_view text);

}  // namespace tarnwick
