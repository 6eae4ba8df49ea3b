#include "support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tarnwick::test {

int ConnectLoopback(std::uint16_t port, Connect how) {
    const int fd = socket(
        AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (how == Connect::DoNotWait ? SOCK_NONBLOCK : 0), 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        !(how == Connect::DoNotWait && errno == EINPROGRESS)) {
        close(fd);
        return -1;
    }
    return fd;
}

std::optional<HttpReply> HttpGet(std::uint16_t port, std::string_view path,
                                 std::chrono::milliseconds timeout) {
    const int fd = ConnectLoopback(port);
    if (fd < 0) {
        return std::nullopt;
    }
    const std::string request = "GET " + std::string(path) + " HTTP/1.0\r\n\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        close(fd);
        return std::nullopt;
    }
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool ended = false;
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        pollfd readable{fd, POLLIN, 0};
        if (poll(&readable, 1, 10) <= 0) {
            continue;
        }
        char chunk[4096];
        const auto n = recv(fd, chunk, sizeof chunk, 0);
        ended = n <= 0;
        text.append(chunk, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    close(fd);
    const auto bodyAt = text.find("\r\n\r\n");
    if (!ended || !text.starts_with("HTTP/1.") || bodyAt == std::string::npos) {
        return std::nullopt;
    }
    return HttpReply{std::stoi(text.substr(9, 3)), text.substr(bodyAt + 4)};
}

}  // namespace tarnwick::test
