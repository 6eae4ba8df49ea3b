// The hex dump of arbitrary bytes: exact length, only its own characters, and an operator who
// types it back (line breaks left out) gets the same bytes.

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    std::string dump = tarnwick::HexDump(bytes);
    Require(dump.size() == 3 * size + 2 * (size / 16));
    Require(dump.find_first_not_of("0123456789ABCDEF \r\n") == std::string::npos);
    Require(static_cast<std::size_t>(std::ranges::count(dump, '\n')) == size / 16);

    std::erase_if(dump, [](char c) { return c == '\r' || c == '\n'; });
    Require(tarnwick::HexTextToBytes(dump) ==
            std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    return 0;
}
