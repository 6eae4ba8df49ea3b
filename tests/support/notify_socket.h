#pragma once

// The service manager's end of NOTIFY_SOCKET, for tests: a datagram socket the test binds and
// reads. Every wait is bounded.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>

namespace tarnwick::test {

// The service manager's end of NOTIFY_SOCKET.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& path)
        : m_path(path), m_fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ADD_FAILURE() << "bind " << path << ": " << std::strerror(errno);
        }
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;
    ~NotifySocket() { close(m_fd); }

    [[nodiscard]] const std::string& Path() const { return m_path; }

    // The next message that begins with prefix, skipping others; none within timeout.
    std::optional<std::string> WaitFor(const std::string& prefix,
                                       std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (auto now = std::chrono::steady_clock::now(); now < deadline;
             now = std::chrono::steady_clock::now()) {
            pollfd fd{m_fd, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
            if (poll(&fd, 1, static_cast<int>(left.count()) + 1) <= 0) {
                continue;
            }
            char text[4096];
            const auto n = recv(m_fd, text, sizeof text, 0);
            const std::string message(text, n > 0 ? static_cast<std::size_t>(n) : 0);
            if (n > 0 && message.starts_with(prefix)) {
                return message;
            }
        }
        return std::nullopt;
    }

    // Whether a stretch of quiet with no message beginning with prefix came within patience.
    bool FallsSilent(const std::string& prefix, std::chrono::milliseconds quiet,
                     std::chrono::milliseconds patience) {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!WaitFor(prefix, quiet)) {
                return true;
            }
        }
        return false;
    }

private:
    std::string m_path;
    int m_fd;
};

}  // namespace tarnwick::test
