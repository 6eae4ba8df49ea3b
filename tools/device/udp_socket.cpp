#include "udp_socket.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace tarnwick::device {
namespace {

// A whole window of replies can land at once; the default buffer (about 200 small datagrams on
// Linux) would drop most of them and stall the window.
constexpr int kBufferBytes = 8 << 20;

[[noreturn]] void ThrowErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// The forced variant passes the system's cap when we run as root; otherwise take what it allows.
void EnlargeBuffer(int fd, int forced, int plain) {
    if (setsockopt(fd, SOL_SOCKET, forced, &kBufferBytes, sizeof kBufferBytes) != 0) {
        setsockopt(fd, SOL_SOCKET, plain, &kBufferBytes, sizeof kBufferBytes);
    }
}

}  // namespace

UdpSocket UdpSocket::Open(sa_family_t family) {
    const int fd = socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ThrowErrno("socket");
    }
    UdpSocket socket(fd);
    EnlargeBuffer(fd, SO_RCVBUFFORCE, SO_RCVBUF);
    EnlargeBuffer(fd, SO_SNDBUFFORCE, SO_SNDBUF);
    const PeerAddress any = *IpAddress(family == AF_INET6 ? "::" : "0.0.0.0", 0);
    if (bind(fd, any.Get(), any.length) != 0) {
        ThrowErrno("bind");
    }
    return socket;
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    std::swap(m_fd, other.m_fd);
    return *this;
}

UdpSocket::~UdpSocket() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

std::optional<PeerAddress> IpAddress(const std::string& host, std::uint16_t port) {
    PeerAddress address;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        address.length = sizeof *v4;
    } else if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        address.length = sizeof *v6;
    } else {
        return std::nullopt;
    }
    return address;
}

std::string AddressText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        return "[" + std::string(text) + "]:" + std::to_string(ntohs(v6.sin6_port));
    }
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(v4.sin_port));
}

}  // namespace tarnwick::device
