#include "net/tcp_listen.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net/peer_address.h"

namespace tarnwick {
namespace {

constexpr int kBacklog = 64;

}  // namespace

int ListenTcp(const std::string& address, std::uint16_t port) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof *v6;
    } else {
        errno = EINVAL;
        return -1;
    }
    const int fd = socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (fd < 0) {
        return -1;
    }
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        (storage.ss_family == AF_INET6 &&
         setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one) != 0) ||
        bind(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0 ||
        listen(fd, kBacklog) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

std::uint16_t BoundPort(int fd) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length);
    return ntohs(storage.ss_family == AF_INET6
                     ? reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port
                     : reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
}

bool IsLoopbackAddress(const std::string& address) {
    const auto parsed = PeerAddress::FromText(address, 0);
    return parsed && parsed->IsLoopback();
}

std::string HttpOrigin(bool tls, const std::string& address, std::uint16_t port) {
    const bool v6 = address.find(':') != std::string::npos;
    return std::string(tls ? "https://" : "http://") + (v6 ? "[" + address + "]" : address) + ":" +
           std::to_string(port);
}

}  // namespace tarnwick
