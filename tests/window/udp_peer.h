#pragma once

// A device on 127.0.0.1 for the window tests: sends datagrams to the window's listener and
// reads what comes back.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick::windowtest {

class UdpPeer {
public:
    // bindAny: bound to every local address (to hold a port), else to 127.0.0.1.
    explicit UdpPeer(bool bindAny = false) : m_fd(socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in address = Address(0);
        address.sin_addr.s_addr = htonl(bindAny ? INADDR_ANY : INADDR_LOOPBACK);
        bind(m_fd, Raw(address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(m_fd, Raw(address), &length);
        m_port = ntohs(address.sin_port);
    }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;
    ~UdpPeer() { close(m_fd); }

    [[nodiscard]] std::uint16_t Port() const { return m_port; }
    // "127.0.0.1 (PORT)": how the centre names this peer in a text record.
    [[nodiscard]] std::string Sender() const {
        return "127.0.0.1 (" + std::to_string(m_port) + ")";
    }

    void SendTo(std::uint16_t port, std::string_view bytes) const {
        const sockaddr_in to = Address(port);
        sendto(m_fd, bytes.data(), bytes.size(), 0, Raw(to), sizeof to);
    }

    [[nodiscard]] std::optional<std::string> Receive(int timeoutMs) const {
        pollfd ready{m_fd, POLLIN, 0};
        if (poll(&ready, 1, timeoutMs) != 1) {
            return std::nullopt;
        }
        char buffer[4096];
        const auto n = recv(m_fd, buffer, sizeof buffer, 0);
        return n < 0 ? std::nullopt
                     : std::optional<std::string>(std::string(buffer, static_cast<std::size_t>(n)));
    }

private:
    static sockaddr_in Address(std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    template <typename T>
    static sockaddr* Raw(T& address) {
        return reinterpret_cast<sockaddr*>(&address);
    }
    template <typename T>
    static const sockaddr* Raw(const T& address) {
        return reinterpret_cast<const sockaddr*>(&address);
    }

    int m_fd;
    std::uint16_t m_port = 0;
};

}  // namespace tarnwick::windowtest
