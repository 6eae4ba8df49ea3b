#include "record/sender_text.h"

#include <charconv>

namespace tarnwick {
namespace {

constexpr std::string_view kPortOpen = " (";      // "ADDR (PORT)"
constexpr std::string_view kHexPortOpen = "  (";  // "ADDR  (PORT)"
constexpr char kPortClose = ')';
constexpr std::size_t kPortDigits = 5;  // "65535"

// The port as AppendSender writes it: digits of a port, no sign, no leading zero.
std::optional<std::uint16_t> PortOf(std::string_view digits) {
    if (digits.size() > 1 && digits.front() == '0') {
        return std::nullopt;
    }
    std::uint16_t port = 0;
    const char* last = digits.data() + digits.size();
    const auto [end, error] = std::from_chars(digits.data(), last, port);
    return error == std::errc() && end == last ? std::optional(port) : std::nullopt;
}

}  // namespace

void AppendSender(std::string& out, bool hex, std::string_view address, std::uint16_t port) {
    out += address;
    out += hex ? kHexPortOpen : kPortOpen;
    char digits[kPortDigits];
    out.append(digits, std::to_chars(digits, digits + kPortDigits, port).ptr);
    out += kPortClose;
}

std::optional<Sender> ParseSender(std::string_view text) {
    const std::size_t open = text.find(kPortOpen);
    if (open == 0 || open == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t digits = open + kPortOpen.size();
    const std::size_t close = text.find(kPortClose, digits);
    if (close == std::string_view::npos || close + 1 >= text.size() ||
        text[close + 1] != kSenderEnd) {
        return std::nullopt;
    }
    const std::optional<std::uint16_t> port = PortOf(text.substr(digits, close - digits));
    const bool hex = text.substr(open - 1).starts_with(kHexPortOpen);
    const std::size_t addressLength = hex ? open - 1 : open;
    if (!port || addressLength == 0) {
        return std::nullopt;
    }
    return Sender{text.substr(0, addressLength), *port, hex, close + 2};
}

}  // namespace tarnwick
