#include "log/size_text.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <limits>

namespace tarnwick {
namespace {

constexpr std::string_view kUnits = "KMGT";
constexpr std::array<std::string_view, 5> kUnitNames = {"B", "KiB", "MiB", "GiB", "TiB"};

}  // namespace

std::optional<std::uint64_t> ParseSize(std::string_view text) {
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end == text.data()) {
        return std::nullopt;
    }
    std::string_view unit(end, static_cast<std::size_t>(text.data() + text.size() - end));
    if (unit.empty()) {
        return number;
    }
    const auto power = kUnits.find(unit.front());
    unit.remove_prefix(1);
    if (power == std::string_view::npos || (!unit.empty() && unit != "B" && unit != "iB")) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i <= power; ++i) {
        if (number > std::numeric_limits<std::uint64_t>::max() / 1024) {
            return std::nullopt;
        }
        number *= 1024;
    }
    return number;
}

std::string SizeText(std::uint64_t bytes) {
    std::size_t unit = 0;
    double value = static_cast<double>(bytes);
    while (value >= 1024 && unit + 1 < kUnitNames.size()) {
        value /= 1024;
        ++unit;
    }
    if (unit == 0) {
        return std::to_string(bytes) + " B";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, std::string(kUnitNames[unit]).c_str());
    return text;
}

}  // namespace tarnwick
