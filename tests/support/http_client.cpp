#include "support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tarnwick::test {

int ConnectLoopback(std::uint16_t port, Connect how, const char* from) {
    const int fd = socket(
        AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (how == Connect::DoNotWait ? SOCK_NONBLOCK : 0), 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from, &local.sin_addr);
    if (fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        close(fd);
        return -1;
    }
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

std::string ReadUntil(int fd, std::string_view until, std::chrono::milliseconds timeout) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline &&
           (until.empty() || text.find(until) == std::string::npos)) {
        pollfd readable{fd, POLLIN, 0};
        if (poll(&readable, 1, 10) <= 0) {
            continue;
        }
        char chunk[4096];
        const auto n = recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            break;
        }
        text.append(chunk, static_cast<std::size_t>(n));
    }
    return text;
}

std::optional<HttpReply> HttpGet(std::uint16_t port, std::string_view path,
                                 std::chrono::milliseconds timeout) {
    return HttpExchange(port, "GET " + std::string(path) + " HTTP/1.0\r\n\r\n", timeout);
}

std::optional<HttpReply> HttpExchange(std::uint16_t port, std::string_view request,
                                      std::chrono::milliseconds timeout, const char* from) {
    const int fd = ConnectLoopback(port, Connect::Wait, from);
    if (fd < 0) {
        return std::nullopt;
    }
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
    return HttpReply{std::stoi(text.substr(9, 3)), text.substr(bodyAt + 4), text.substr(0, bodyAt)};
}

}  // namespace tarnwick::test
