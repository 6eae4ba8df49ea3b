// Datagram sorting rules on arbitrary bytes: nothing here may crash, and what they return must
// stay consistent with the text they were given.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "record/record_rules.h"

namespace {

void Require(bool holds) {
    if (!holds) {
        __builtin_trap();
    }
}

// Trimming only ever removes stretches, so what is left appears in order in the original.
bool IsSubsequence(std::string_view part, std::string_view whole) {
    auto at = whole.begin();
    for (const char c : part) {
        at = std::find(at, whole.end(), c);
        if (at == whole.end()) {
            return false;
        }
        ++at;
    }
    return true;
}

void CheckDatagramText(std::span<const std::uint8_t> bytes, std::string_view text) {
    Require(text.size() <= bytes.size());
    Require(text.find('\0') == std::string_view::npos);
    Require(text.size() == bytes.size() || bytes[text.size()] == 0);
}

// A non-empty code field lies inside the text, right after a "," (or at its start) and right
// before its first ";".
void CheckCodeField(std::string_view text) {
    const std::string_view field = tarnwick::CodeField(text);
    Require(!tarnwick::IsValidCodeField(field) || field.size() == 3);
    if (field.empty()) {
        return;
    }
    const std::less_equal<const char*> not_after;
    Require(not_after(text.data(), field.data()) &&
            not_after(field.data() + field.size(), text.data() + text.size()));
    const auto start = static_cast<std::size_t>(field.data() - text.data());
    const std::size_t end = start + field.size();
    Require(start == 0 || text[start - 1] == ',');
    Require(end < text.size() && text.find(';') == end);
}

void CheckTrim(std::string_view text) {
    const std::string trimmed = tarnwick::TrimFieldValues(text);
    Require(trimmed.size() <= text.size());
    Require(IsSubsequence(trimmed, text));
    Require(std::ranges::count(trimmed, ';') == std::ranges::count(text, ';'));
    if (text.find(',') == std::string_view::npos) {
        Require(trimmed == text);
    }
    if (tarnwick::IsDeviceRecord(text)) {
        Require(tarnwick::IsDeviceRecord(trimmed));
        Require(tarnwick::IsIgnoredRecord(trimmed) == tarnwick::IsIgnoredRecord(text));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::string_view text = tarnwick::DatagramText(bytes);
    CheckDatagramText(bytes, text);
    Require(!tarnwick::IsIgnoredRecord(text) || tarnwick::IsDeviceRecord(text));
    CheckCodeField(text);
    CheckTrim(text);
    return 0;
}
