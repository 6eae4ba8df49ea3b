#include "support/udp.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace tarnwick::test {
namespace {

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    [[nodiscard]] sockaddr* Get() { return reinterpret_cast<sockaddr*>(&storage); }
};

SocketAddress LoopbackAt(Loopback loopback, std::uint16_t port) {
    SocketAddress address;
    if (loopback == Loopback::Ipv6) {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(address.storage);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        v6.sin6_addr = in6addr_loopback;
        address.length = sizeof v6;
    } else {
        auto& v4 = reinterpret_cast<sockaddr_in&>(address.storage);
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.length = sizeof v4;
    }
    return address;
}

// sin_port and sin6_port stand at the same place.
std::uint16_t PortOf(const sockaddr_storage& address) {
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

}  // namespace

UdpPeer UdpPeer::BindLoopback(Loopback loopback) {
    SocketAddress address = LoopbackAt(loopback, 0);
    const int fd = socket(address.storage.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        Fail("socket");
    }
    UdpPeer peer(fd, loopback);
    if (bind(fd, address.Get(), address.length) != 0 ||
        getsockname(fd, address.Get(), &address.length) != 0) {
        Fail("bind");
    }
    peer.m_port = PortOf(address.storage);
    return peer;
}

UdpPeer::UdpPeer(UdpPeer&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_loopback(other.m_loopback), m_port(other.m_port) {}

UdpPeer::~UdpPeer() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

void UdpPeer::SendTo(std::uint16_t port, std::string_view bytes) {
    SocketAddress address = LoopbackAt(m_loopback, port);
    if (sendto(m_fd, bytes.data(), bytes.size(), 0, address.Get(), address.length) < 0) {
        Fail("sendto");
    }
}

std::optional<Datagram> UdpPeer::Receive(std::chrono::milliseconds timeout) {
    pollfd entry{m_fd, POLLIN, 0};
    if (poll(&entry, 1, static_cast<int>(timeout.count())) <= 0) {
        return std::nullopt;
    }
    std::string buffer(65536, '\0');
    sockaddr_storage sender{};
    socklen_t length = sizeof sender;
    const ssize_t count = recvfrom(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&sender), &length);
    if (count < 0) {
        return std::nullopt;
    }
    buffer.resize(static_cast<std::size_t>(count));
    return Datagram{std::move(buffer), PortOf(sender)};
}

}  // namespace tarnwick::test
