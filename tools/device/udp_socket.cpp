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

UdpSocket UdpSocket::Open() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ThrowErrno("socket");
    }
    UdpSocket socket(fd);
    EnlargeBuffer(fd, SO_RCVBUFFORCE, SO_RCVBUF);
    EnlargeBuffer(fd, SO_SNDBUFFORCE, SO_SNDBUF);
    const sockaddr_in any = Ipv4Address("0.0.0.0", 0);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
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

sockaddr_in Ipv4Address(const std::string& host, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    return address;
}

std::string AddressText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

}  // namespace tarnwick::device
