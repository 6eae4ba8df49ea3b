// Operator hex text of any shape: at most one byte per two characters, deaf to letter case,
// converting a prefix gives a prefix, and the bytes survive a dump and a re-read.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "command/hex_text.h"
#include "record/record_rules.h"

namespace {

void Require(bool holds) {
    if (!holds) {
        __builtin_trap();
    }
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    std::ranges::transform(lower, lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return lower;
}

bool StartsWith(const std::vector<std::uint8_t>& whole, const std::vector<std::uint8_t>& part) {
    return part.size() <= whole.size() &&
           std::ranges::equal(part, std::span(whole).first(part.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::uint8_t> bytes = tarnwick::HexTextToBytes(text);
    Require(bytes.size() <= size / 2);
    Require(tarnwick::HexTextToBytes(AsciiLower(text)) == bytes);
    Require(StartsWith(bytes, tarnwick::HexTextToBytes(text.substr(0, size / 2))));

    std::string dump = tarnwick::HexDump(bytes);
    std::erase_if(dump, [](char c) { return c == '\r' || c == '\n'; });
    Require(tarnwick::HexTextToBytes(dump) == bytes);
    return 0;
}
