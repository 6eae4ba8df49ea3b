#pragma once

// The device's UDP sockets and the IPv4 or IPv6 addresses they talk to.

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tarnwick::device {

struct PeerAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    [[nodiscard]] const sockaddr* Get() const {
        return reinterpret_cast<const sockaddr*>(&storage);
    }
};

// A non-blocking UDP socket of family (AF_INET or AF_INET6) bound to a port the system picks.
class UdpSocket {
public:
    // Throws std::system_error when the system refuses.
    static UdpSocket Open(sa_family_t family);

    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    ~UdpSocket();

    [[nodiscard]] int Fd() const { return m_fd; }

private:
    explicit UdpSocket(int fd) : m_fd(fd) {}

    int m_fd;
};

// host: an IPv4 or IPv6 literal; nothing when it is neither.
[[nodiscard]] std::optional<PeerAddress> IpAddress(const std::string& host, std::uint16_t port);

// "a.b.c.d:port" or "[v6]:port"
[[nodiscard]] std::string AddressText(const sockaddr_storage& address);

}  // namespace tarnwick::device
