#pragma once

// A plain HTTP/1.0 client on 127.0.0.1 for tests of the metrics page, and bare connections for
// clients that misbehave. Every wait is bounded.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick::test {

struct HttpReply {
    int status = 0;
    std::string body;
    std::string head = {};  // the status line and the headers
};

// GET path; nothing when the server does not answer in full within timeout.
[[nodiscard]] std::optional<HttpReply> HttpGet(std::uint16_t port, std::string_view path,
                                               std::chrono::milliseconds timeout);

// A whole request as given, from the loopback address from (another client address than the
// default's 127.0.0.1, for per-address limits); the answer once the server closes.
[[nodiscard]] std::optional<HttpReply> HttpExchange(std::uint16_t port, std::string_view request,
                                                    std::chrono::milliseconds timeout,
                                                    const char* from = "127.0.0.1");

// A TCP connection to 127.0.0.1:port from the loopback address from, or -1; the caller closes
// it. Without waiting, the socket is non-blocking and may still be connecting, as when the
// server's backlog is full.
enum class Connect { Wait, DoNotWait };
[[nodiscard]] int ConnectLoopback(std::uint16_t port, Connect how = Connect::Wait,
                                  const char* from = "127.0.0.1");

// What arrives on fd within timeout, until the peer closes or until the text holds until.
[[nodiscard]] std::string ReadUntil(int fd, std::string_view until,
                                    std::chrono::milliseconds timeout);

}  // namespace tarnwick::test
