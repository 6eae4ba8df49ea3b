#pragma once

// The listening TCP socket of an HTTP server of the centre, made before the server takes it, so
// that a port of 0 can be read back and an IPv6 address listens on IPv6 alone.

#include <cstdint>
#include <string>

namespace tarnwick {

// Bound to address (IPv4 or IPv6 text) and port and listening, non-blocking; -1 with errno set
// when a step fails.
[[nodiscard]] int ListenTcp(const std::string& address, std::uint16_t port);

// The port fd is bound to.
[[nodiscard]] std::uint16_t BoundPort(int fd);

// Whether address (IPv4 or IPv6 text) is 127.0.0.0/8 or ::1.
[[nodiscard]] bool IsLoopbackAddress(const std::string& address);

// "http://127.0.0.1:9100", "https://[::1]:8080": the server's address as a browser takes it.
[[nodiscard]] std::string HttpOrigin(bool tls, const std::string& address, std::uint16_t port);

}  // namespace tarnwick
