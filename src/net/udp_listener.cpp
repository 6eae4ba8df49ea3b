#include "net/udp_listener.h"

#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    return PeerAddress::From(bound).Port();
}

// ::1 is there wherever IPv6 works. The kernel takes a "::" socket even where IPv6 is
// disabled, so a socket on ::1 is the probe; it needs no netlink, which a hardened service may
// not have.
bool HostHasIpv6() {
    const int fd = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in6 loopback{};
    loopback.sin6_family = AF_INET6;
    loopback.sin6_addr = in6addr_loopback;
    const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&loopback), sizeof loopback) == 0;
    close(fd);
    return bound;
}

PeerAddress EveryIpv6Address() {
    return *PeerAddress::FromText("::", 0);
}

}  // namespace

std::string ListenErrorMessage(ListenError error, std::uint16_t port, int errorCode) {
    const std::string reason = std::strerror(errorCode);
    switch (error) {
        case ListenError::SocketCreate:
        case ListenError::ThreadStart:
            return "socket create error! (" + reason + ")";
        case ListenError::Bind:
            return "socket bind error! (port " + std::to_string(port) + ": " + reason + ")";
        case ListenError::None:
            break;
    }
    return {};
}

std::string ReachNotice(const ListenPlace& place) {
    std::string notice;
    if (place.only) {
        notice = "listening on " + place.only->Text() + " only";
    } else if (place.ipv4Only) {
        notice = "no IPv6 on this host: listening on IPv4 only";
    } else if (place.ipv6Only) {
        notice = "listening on IPv6 only";
    }
    if (place.sharing == PortSharing::Shared) {
        notice += notice.empty() ? "sharing the port with other centres"
                                 : "; sharing the port with other centres";
    }
    return notice;
}

UdpListener::OpenResult UdpListener::Open(std::uint16_t port,
                                          const std::optional<PeerAddress>& only,
                                          PortSharing sharing, Families families) {
    if (!only || only->WithPort(0) == EveryIpv6Address()) {
        return OpenEverywhere(port, sharing, families);
    }
    OpenResult opened = OpenAt(only->WithPort(port), false, sharing);
    if (opened.listener) {
        opened.listener->m_place.only = only;
    }
    return opened;
}

UdpListener::OpenResult UdpListener::OpenEverywhere(std::uint16_t port, PortSharing sharing,
                                                    Families families) {
    const PeerAddress everyIpv6 = EveryIpv6Address().WithPort(port);
    if (families == Families::Ipv6Only) {
        return Marked(OpenAt(everyIpv6, false, sharing), &ListenPlace::ipv6Only);
    }
    if (HostHasIpv6()) {
        return OpenAt(everyIpv6, true, sharing);
    }
    return Marked(OpenAt(*PeerAddress::FromText("0.0.0.0", port), false, sharing),
                  &ListenPlace::ipv4Only);
}

UdpListener::OpenResult UdpListener::Marked(OpenResult opened, bool ListenPlace::*mark) {
    if (opened.listener) {
        opened.listener->m_place.*mark = true;
    }
    return opened;
}

UdpListener::OpenResult UdpListener::OpenAt(const PeerAddress& address, bool bothFamilies,
                                            PortSharing sharing) {
    const int fd = socket(address.Sockaddr()->sa_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return {std::nullopt, ListenError::SocketCreate, errno};
    }
    UdpListener listener(fd);
    // Set either way: the system's default (net.ipv6.bindv6only) may be either.
    const int v6Only = bothFamilies ? 0 : 1;
    if (address.IsIpv6() &&
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only) != 0) {
        return {std::nullopt, ListenError::SocketCreate, errno};
    }
    const int share = 1;
    if (sharing == PortSharing::Shared &&
        setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &share, sizeof share) != 0) {
        return {std::nullopt, ListenError::SocketCreate, errno};
    }
    if (bind(fd, address.Sockaddr(), address.Length()) != 0) {
        return {std::nullopt, ListenError::Bind, errno};
    }
    listener.m_receiveBuffer = GrantReceiveBuffer(fd);
    listener.m_place.port = BoundPort(fd);
    listener.m_place.sharing = sharing;
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
      m_place(std::move(other.m_place)),
      m_receiveBuffer(other.m_receiveBuffer) {}

UdpListener& UdpListener::operator=(UdpListener&& other) noexcept {
    if (this != &other) {
        CloseSocket();
        m_fd = std::exchange(other.m_fd, -1);
        m_place = std::move(other.m_place);
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
