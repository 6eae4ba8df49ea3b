#pragma once

// --max-rows: how many records the window's live display keeps before the oldest leave it.

#include <cstddef>
#include <optional>
#include <string>

namespace tarnwick {

inline constexpr std::size_t kDefaultMaxRows = 1'000'000;
inline constexpr std::size_t kLargestMaxRows = 1'000'000'000;

struct MaxRows {
    std::size_t records = kDefaultMaxRows;
    std::string error;  // empty when the text was understood
    bool operator==(const MaxRows&) const = default;
};

// A decimal number from 1 to kLargestMaxRows, nothing else; the default when not given.
[[nodiscard]] MaxRows ParseMaxRows(const std::optional<std::string>& text);

}  // namespace tarnwick
