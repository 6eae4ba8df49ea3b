#include "net/udp_listener.h"

#include <arpa/inet.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace tarnwick {
namespace {

int GrantReceiveBuffer(int fd) {
    int wanted = UdpListener::kWantedReceiveBuffer;
    // The forced variant passes the system's cap when we are allowed to; otherwise ask politely.
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
    }
    int granted = 0;
    socklen_t length = sizeof granted;
    getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &granted, &length);
    return granted;
}

std::uint16_t BoundPort(int fd) {
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    return ntohs(bound.sin_port);
}

}  // namespace

std::string_view ListenErrorMessage(ListenError error) {
    switch (error) {
        case ListenError::SocketCreate:
        case ListenError::ThreadStart:
            return "socket create error!";
        case ListenError::Bind:
            return "socket bind error!";
        case ListenError::None:
            break;
    }
    return {};
}

UdpListener::OpenResult UdpListener::Open(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return {std::nullopt, ListenError::SocketCreate, errno};
    }
    UdpListener listener(fd);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return {std::nullopt, ListenError::Bind, errno};
    }
    listener.m_receiveBuffer = GrantReceiveBuffer(fd);
    listener.m_port = BoundPort(fd);
    return {std::move(listener), ListenError::None, 0};
}

UdpListener::UdpListener(int fd) : m_fd(fd) {}

std::uint64_t UdpListener::KernelDrops() const {
    std::uint32_t meminfo[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof meminfo;
    if (getsockopt(m_fd, SOL_SOCKET, SO_MEMINFO, meminfo, &length) != 0 ||
        length <= SK_MEMINFO_DROPS * sizeof(std::uint32_t)) {
        return 0;
    }
    return meminfo[SK_MEMINFO_DROPS];
}

UdpListener::UdpListener(UdpListener&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_port(other.m_port),
      m_receiveBuffer(other.m_receiveBuffer) {}

UdpListener& UdpListener::operator=(UdpListener&& other) noexcept {
    if (this != &other) {
        CloseSocket();
        m_fd = std::exchange(other.m_fd, -1);
        m_port = other.m_port;
        m_receiveBuffer = other.m_receiveBuffer;
    }
    return *this;
}

UdpListener::~UdpListener() {
    CloseSocket();
}

void UdpListener::CloseSocket() {
    if (m_fd >= 0) {
        shutdown(m_fd, SHUT_RDWR);
        close(m_fd);
        m_fd = -1;
    }
}

}  // namespace tarnwick
