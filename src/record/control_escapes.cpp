#include "record/control_escapes.h"

#include <algorithm>
#include <utility>

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

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// One escape at text's start, "\\" among them: its byte, and how many characters it took.
std::optional<std::pair<char, std::size_t>> EscapeAt(std::string_view text) {
    if (text.size() < 2) {
        return std::nullopt;
    }
    switch (text[1]) {
        case '\\':
            return std::pair{'\\', std::size_t{2}};
        case 'r':
            return std::pair{'\r', std::size_t{2}};
        case 'n':
            return std::pair{'\n', std::size_t{2}};
        case 't':
            return std::pair{'\t', std::size_t{2}};
        case 'x':
            break;
        default:
            return std::nullopt;
    }
    const int high = text.size() >= 4 ? HexDigit(text[2]) : -1;
    const int low = high >= 0 ? HexDigit(text[3]) : -1;
    if (low < 0) {
        return std::nullopt;
    }
    return std::pair{static_cast<char>(high * 16 + low), std::size_t{4}};
}

// Every control byte as an escape; a backslash doubled too where the text must read back.
std::string Escaped(std::string_view text, bool doubleBackslash) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsControlByte(byte)) {
            AppendEscape(byte, out);
        } else if (c == '\\' && doubleBackslash) {
            out += "\\\\";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string EscapeReversibly(std::string_view text) {
    return Escaped(text, true);
}

std::optional<std::string> UnescapeControlBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        if (IsControlByte(static_cast<unsigned char>(text.front()))) {
            return std::nullopt;
        }
        if (text.front() != '\\') {
            out += text.front();
            text.remove_prefix(1);
            continue;
        }
        const auto escape = EscapeAt(text);
        if (!escape) {
            return std::nullopt;
        }
        out += escape->first;
        text.remove_prefix(escape->second);
    }
    return out;
}

std::string EscapeControlBytes(std::string_view text) {
    return Escaped(text, false);
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
