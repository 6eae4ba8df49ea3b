#include "command/hex_text.h"

#include <cstddef>

namespace tarnwick {
namespace {

constexpr int kNotHex = -1;

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return kNotHex;
}

}  // namespace

std::vector<std::uint8_t> HexTextToBytes(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    std::size_t p = 0;
    while (p < text.size()) {
        const char first = text[p++];
        if (first == ' ') {
            continue;
        }
        if (p == text.size()) {
            break;
        }
        // The two digits of a pair are read as they stand: a blank between them ends the text.
        const int high = HexValue(first);
        const int low = HexValue(text[p++]);
        if (high == kNotHex || low == kNotHex) {
            break;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

}  // namespace tarnwick
