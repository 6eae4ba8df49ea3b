#include "app/duration_text.h"

#include <charconv>
#include <cstdint>

namespace tarnwick {
namespace {

struct Unit {
    std::string_view suffix;
    std::chrono::seconds length;
};

constexpr Unit kUnits[] = {
    {"min", std::chrono::minutes(1)},
    {"s", std::chrono::seconds(1)},
    {"h", std::chrono::hours(1)},
    {"d", std::chrono::hours(24)},
};

}  // namespace

std::optional<std::chrono::seconds> ParseDurationText(std::string_view text) {
    for (const Unit& unit : kUnits) {
        if (!text.ends_with(unit.suffix)) {
            continue;
        }
        const std::string_view digits = text.substr(0, text.size() - unit.suffix.size());
        std::uint64_t count = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), count);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
            count == 0 || count > static_cast<std::uint64_t>(kLongestDuration / unit.length)) {
            return std::nullopt;
        }
        return unit.length * static_cast<std::int64_t>(count);
    }
    return std::nullopt;
}

std::string DurationText(std::chrono::seconds duration) {
    const Unit* best = &kUnits[1];
    for (const Unit& unit : kUnits) {
        if (duration % unit.length == std::chrono::seconds(0) && unit.length > best->length) {
            best = &unit;
        }
    }
    return std::to_string(duration / best->length) + std::string(best->suffix);
}

}  // namespace tarnwick
