#pragma once

// --mqtt URL: "mqtt://HOST[:PORT]" (port 1883) or "mqtts://HOST[:PORT]" for TLS (port 8883).
// An IPv6 address stands in brackets: "mqtt://[::1]:1883".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

struct BrokerUrl {
    bool tls = false;
    std::string host;
    std::uint16_t port = 1883;
    bool operator==(const BrokerUrl&) const = default;
};

[[nodiscard]] std::optional<BrokerUrl> ParseBrokerUrl(std::string_view text);

// The URL as the operator is shown it.
[[nodiscard]] std::string BrokerUrlText(const BrokerUrl& url);

}  // namespace tarnwick
