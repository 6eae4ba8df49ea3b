#include "record/control_escapes.h"

#include <algorithm>

namespace tarnwick {
namespace {

bool IsControlByte(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

void AppendEscape(unsigned char byte, std::string& out) {
    switch (byte) {
        case '\r':
            out += "\\r";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\t':
            out += "\\t";
            return;
        default:
            break;
    }
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

}  // namespace

std::string EscapeControlBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsControlByte(byte)) {
            AppendEscape(byte, out);
        } else {
            out += c;
        }
    }
    return out;
}

void EscapeControlBytesFrom(std::string& text, std::size_t from) {
    const auto first =
        std::find_if(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                     [](char c) { return IsControlByte(static_cast<unsigned char>(c)); });
    if (first == text.end()) {
        return;
    }
    const auto at = static_cast<std::size_t>(first - text.begin());
    const std::string escaped = EscapeControlBytes(std::string_view(text).substr(at));
    text.resize(at);
    text += escaped;
}

}  // namespace tarnwick
