#include "net/port_text.h"

namespace tarnwick {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::optional<std::uint16_t> ParsePortText(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Only the low 16 bits count, so the digits can be folded modulo 65536 without overflow.
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = (value * 10U + static_cast<std::uint32_t>(text[i] - '0')) & 0xFFFFU;
    }
    if (negative) {
        value = (0x10000U - value) & 0xFFFFU;
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace tarnwick
