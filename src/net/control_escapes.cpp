#include "net/control_escapes.h"

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

}  // namespace tarnwick
