#pragma once

// The device's UDP sockets and the IPv4 addresses they talk to.

#include <netinet/in.h>

#include <cstdint>
#include <string>

namespace tarnwick::device {

// A non-blocking UDP socket bound to a port the system picks.
class UdpSocket {
public:
    // Throws std::system_error when the system refuses.
    static UdpSocket Open();

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

// host: a dotted IPv4 address (the option parser has checked it).
[[nodiscard]] sockaddr_in Ipv4Address(const std::string& host, std::uint16_t port);

// "a.b.c.d:port"
[[nodiscard]] std::string AddressText(const sockaddr_in& address);

}  // namespace tarnwick::device
