#pragma once

// Who sent a text, as the hand-off writes it before the text and the log keeps it: "ADDR (PORT)"
// for a record's sender, "ADDR  (PORT)" (two blanks) for the sender of hex text, then
// kSenderEnd. Written and read back here alone.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// Between the sender and what it sent.
inline constexpr char kSenderEnd = ':';

// "ADDR (PORT)" or, for hex, "ADDR  (PORT)"; kSenderEnd is the caller's.
void AppendSender(std::string& out, bool hex, std::string_view address, std::uint16_t port);

struct Sender {
    std::string_view address;
    std::uint16_t port = 0;
    bool hex = false;
    std::size_t textAt = 0;  // where what it sent begins, past kSenderEnd
    bool operator==(const Sender&) const = default;
};

// The sender at the start of text, as AppendSender and kSenderEnd wrote it; nothing for any
// other text (a port with a sign or a leading zero among them).
[[nodiscard]] std::optional<Sender> ParseSender(std::string_view text);

}  // namespace tarnwick
