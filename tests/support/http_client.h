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
};

// GET path; nothing when the server does not answer in full within timeout.
[[nodiscard]] std::optional<HttpReply> HttpGet(std::uint16_t port, std::string_view path,
                                               std::chrono::milliseconds timeout);

// A TCP connection to 127.0.0.1:port, or -1; the caller closes it. Without waiting, the
// socket is non-blocking and may still be connecting, as when the server's backlog is full.
enum class Connect { Wait, DoNotWait };
[[nodiscard]] int ConnectLoopback(std::uint16_t port, Connect how = Connect::Wait);

}  // namespace tarnwick::test
