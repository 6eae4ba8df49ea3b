#include "command/hex_text.h"

#include <cstddef>

namespace tarnwick {
namespace {

constexpr int kNotHex = -1;

}  // namespace

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

HexConversion ConvertHexText(std::string_view text) {
    HexConversion converted;
    std::size_t p = 0;
    while (p < text.size()) {
        const std::size_t pair = p;
        const char first = text[p++];
        if (first == ' ') {
            continue;
        }
        // The two digits of a pair are read as they stand: a blank between them ends the text.
        const int high = HexValue(first);
        const int low = p == text.size() ? kNotHex : HexValue(text[p++]);
        if (high == kNotHex || low == kNotHex) {
            converted.stoppedAt = pair;
            return converted;
        }
        converted.bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    converted.stoppedAt = text.size();
    return converted;
}

std::vector<std::uint8_t> HexTextToBytes(std::string_view text) {
    return ConvertHexText(text).bytes;
}

}  // namespace tarnwick
