#pragma once

// Sizes of files and disks as the operator reads and writes them: "1GiB", "500M", "4096".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// A whole number of bytes, or one followed by K, M, G or T (powers of 1024), each with or
// without "iB" or "B" after it: "1GiB", "500M", "64KB", "4096".
[[nodiscard]] std::optional<std::uint64_t> ParseSize(std::string_view text);

// The size in the largest unit it has at least one of, with one decimal: "1.5 GiB", "812 B".
[[nodiscard]] std::string SizeText(std::uint64_t bytes);

}  // namespace tarnwick
