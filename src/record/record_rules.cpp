#include "record/record_rules.h"

#include <algorithm>
#include <cstddef>

namespace tarnwick {
namespace {

constexpr std::string_view kRecordStart = "#ST";
constexpr char kRecordEnd = '#';
constexpr std::size_t kShortestRecord = kRecordStart.size() + 1;

constexpr std::size_t kBytesPerLine = 16;
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Positions are signed so that "not found" (-1) can take part in the arithmetic: a missing ","
// or ":" makes the field that follows it start at 0.
using Position = std::ptrdiff_t;

Position Find(std::string_view text, std::string_view what, Position from) {
    const std::size_t at = text.find(what, static_cast<std::size_t>(from));
    return at == std::string_view::npos ? -1 : static_cast<Position>(at);
}

// Empty for a negative length; cut at the end of the text.
std::string_view Slice(std::string_view text, Position start, Position length) {
    if (length <= 0 || static_cast<std::size_t>(start) >= text.size()) {
        return {};
    }
    return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
}

}  // namespace

std::string_view DatagramText(std::span<const std::uint8_t> bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    return {reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::size_t>(end - bytes.begin())};
}

bool IsDeviceRecord(std::string_view text) {
    return text.size() >= kShortestRecord && text.starts_with(kRecordStart) &&
           text.back() == kRecordEnd;
}

bool IsIgnoredRecord(std::string_view text) {
    return IsDeviceRecord(text) && text[kRecordStart.size()] == ':';
}

std::string_view CodeField(std::string_view text) {
    const Position comma = Find(text, ",", 0);
    const Position semicolon = Find(text, ";", 0);
    return Slice(text, comma + 1, semicolon - comma - 1);
}

bool IsThreeDigits(std::string_view text) {
    return text.size() >= 3 &&
           std::all_of(text.begin(), text.begin() + 3, [](char c) { return c >= '0' && c <= '9'; });
}

bool IsValidCodeField(std::string_view field) {
    return field.size() == 3 && IsThreeDigits(field);
}

std::string TrimFieldValues(std::string_view text) {
    std::string work(text);
    // find() past the end reports "not found", which ends the walk just as running off the
    // end of the text would.
    for (Position from = 0;;) {
        const Position name = Find(work, "ST", from);
        if (name < 0) {
            return work;
        }
        const Position colon = Find(work, ":", name + 2);
        const Position end = Find(work, ";", colon + 1);
        const std::string_view value = Slice(work, colon + 1, end - colon - 1);
        const std::size_t comma = value.find(',');
        if (comma != std::string_view::npos) {
            const auto cut = static_cast<std::size_t>(colon + 1) + comma;
            work.erase(cut, static_cast<std::size_t>(end) - cut);
        }
        from = name + 5;
    }
}

std::string HexDump(std::span<const std::uint8_t> bytes) {
    std::string dump(3 * bytes.size() + 2 * (bytes.size() / kBytesPerLine), ' ');
    char* at = dump.data();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        at[0] = kHexDigits[bytes[i] >> 4];
        at[1] = kHexDigits[bytes[i] & 0x0F];
        at += 3;
        if ((i + 1) % kBytesPerLine == 0) {
            at[0] = '\r';
            at[1] = '\n';
            at += 2;
        }
    }
    return dump;
}

}  // namespace tarnwick
