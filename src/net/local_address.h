#pragma once

// The address shown beside "Local IP:", so that devices can be pointed at this computer.
// Debian maps the host name to 127.0.1.1, so a loopback address is the last resort.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tarnwick {

// IPv4 addresses in host byte order.
using Ipv4 = std::uint32_t;

[[nodiscard]] bool IsLoopback(Ipv4 address);

// The first non-loopback address the host name resolved to, else the first non-loopback
// address of an interface, else the first loopback address of either list.
[[nodiscard]] std::optional<Ipv4> ChooseLocalAddress(std::span<const Ipv4> resolved,
                                                     std::span<const Ipv4> interfaces);

// "192.168.1.20"
[[nodiscard]] std::string DottedText(Ipv4 address);

// The choice above over this machine's host name and interfaces; empty when there is none.
[[nodiscard]] std::string DiscoverLocalAddress();

}  // namespace tarnwick
