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

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

UdpPeer UdpPeer::BindLoopback() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        Fail("socket");
    }
    UdpPeer peer(fd, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        Fail("bind");
    }
    peer.m_port = ntohs(address.sin_port);
    return peer;
}

UdpPeer::UdpPeer(UdpPeer&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_port(other.m_port) {}

UdpPeer::~UdpPeer() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

void UdpPeer::SendTo(std::uint16_t port, std::string_view bytes) {
    const sockaddr_in address = Loopback(port);
    if (sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&address),
               sizeof address) < 0) {
        Fail("sendto");
    }
}

std::optional<Datagram> UdpPeer::Receive(std::chrono::milliseconds timeout) {
    pollfd entry{m_fd, POLLIN, 0};
    if (poll(&entry, 1, static_cast<int>(timeout.count())) <= 0) {
        return std::nullopt;
    }
    std::string buffer(65536, '\0');
    sockaddr_in sender{};
    socklen_t length = sizeof sender;
    const ssize_t count = recvfrom(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&sender), &length);
    if (count < 0) {
        return std::nullopt;
    }
    buffer.resize(static_cast<std::size_t>(count));
    return Datagram{std::move(buffer), ntohs(sender.sin_port)};
}

}  // namespace tarnwick::test
