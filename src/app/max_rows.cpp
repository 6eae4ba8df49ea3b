#include "app/max_rows.h"

#include <algorithm>

namespace tarnwick {

MaxRows ParseMaxRows(const std::optional<std::string>& text) {
    if (!text) {
        return {};
    }
    std::size_t value = 0;
    const bool digits = !text->empty() && std::ranges::all_of(*text, [&](char c) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = std::min(value * 10 + static_cast<std::size_t>(c - '0'), kLargestMaxRows + 1);
        return true;
    });
    if (!digits || value == 0 || value > kLargestMaxRows) {
        return {0, "--max-rows takes a number of records from 1 to " +
                       std::to_string(kLargestMaxRows) + ", not \"" + *text + "\""};
    }
    return {value, ""};
}

}  // namespace tarnwick
