#include "forward/broker_url.h"

#include <algorithm>
#include <charconv>

namespace tarnwick {
namespace {

constexpr std::string_view kPlain = "mqtt://";
constexpr std::string_view kTls = "mqtts://";

// A port from 1 to 65535, nothing else.
std::optional<std::uint16_t> PortOf(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

// "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT"; the host's end, or npos when it is malformed.
std::size_t HostEnd(std::string_view rest) {
    if (!rest.starts_with('[')) {
        return rest.find(':');
    }
    const std::size_t close = rest.find(']');
    return close == std::string_view::npos ? 0 : close + 1;
}

}  // namespace

std::optional<BrokerUrl> ParseBrokerUrl(std::string_view text) {
    BrokerUrl url;
    if (text.starts_with(kTls)) {
        url = {true, "", 8883};
        text.remove_prefix(kTls.size());
    } else if (text.starts_with(kPlain)) {
        text.remove_prefix(kPlain.size());
    } else {
        return std::nullopt;
    }
    const std::size_t end = std::min(HostEnd(text), text.size());
    std::string_view host = text.substr(0, end);
    if (host.starts_with('[')) {
        host = host.substr(1, host.size() - 2);
    }
    if (host.empty() || host.find_first_of("/@ ") != std::string_view::npos) {
        return std::nullopt;
    }
    url.host = std::string(host);
    if (end < text.size()) {
        const auto port = text[end] == ':' ? PortOf(text.substr(end + 1)) : std::nullopt;
        if (!port) {
            return std::nullopt;
        }
        url.port = *port;
    }
    return url;
}

std::string BrokerUrlText(const BrokerUrl& url) {
    const bool v6 = url.host.find(':') != std::string::npos;
    return std::string(url.tls ? kTls : kPlain) + (v6 ? "[" + url.host + "]" : url.host) + ":" +
           std::to_string(url.port);
}

}  // namespace tarnwick
