#pragma once

// The listening UDP socket: one port, on every local address of both families (one
// dual-stack socket), of IPv6 alone, or on the one address the operator chose. Owned by its
// front end's thread; closed when the object goes.

#include <cstdint>
#include <optional>
#include <string>

#include "net/peer_address.h"

namespace tarnwick {

// ThreadStart: the socket was bound but its receive thread could not be started (no memory,
// a thread or descriptor limit); the listener stays closed.
enum class ListenError { None, SocketCreate, Bind, ThreadStart };

// What both front ends tell the operator, the fixed text first and then why: "socket create
// error! (Too many open files)" (for ThreadStart too: to the operator both mean the listener
// could not be set up), "socket bind error! (port 5000: Address already in use)", or empty
// (nothing to tell). port: the one asked for; errorCode: the errno of the failed step.
[[nodiscard]] std::string ListenErrorMessage(ListenError error, std::uint16_t port, int errorCode);

// Shared: other centres may bind the same port (SO_REUSEPORT), and the kernel spreads the
// senders over them by source.
enum class PortSharing { Alone, Shared };

// Ipv6Only: an IPv6 socket that takes no IPv4 (IPV6_V6ONLY), on "::" as on one address.
enum class Families { Both, Ipv6Only };

// Where a listener takes datagrams from.
struct ListenPlace {
    std::uint16_t port = 0;
    std::optional<PeerAddress> only = {};  // the one local address chosen; nothing: every one
    bool ipv4Only = false;                 // every local address, but the host has no IPv6
    bool ipv6Only = false;                 // IPv4 senders are not heard, by the operator's wish
    PortSharing sharing = PortSharing::Alone;
};

// What the operator is told beside "listening on UDP port N": "listening on ::1 only", "no
// IPv6 on this host: listening on IPv4 only", "listening on IPv6 only", or empty for every
// address of both families;
// "sharing the port with other centres" follows for a shared port.
[[nodiscard]] std::string ReachNotice(const ListenPlace& place);

class UdpListener {
public:
    // The receive buffer the listener asks for, so bursts wait in the kernel, not on the floor.
    static constexpr int kWantedReceiveBuffer = 4 * 1024 * 1024;

    struct OpenResult;

    // A UDP socket bound to port on only, else on "::" for IPv6 and IPv4 alike; on every
    // IPv4 address (0.0.0.0) where the host has no IPv6. An only of "::" is every address
    // too, as the operator who names it means. One address of either family is bound alone
    // (an IPv6 one with IPV6_V6ONLY), so Ipv6Only changes nothing for it.
    [[nodiscard]] static OpenResult Open(std::uint16_t port,
                                         const std::optional<PeerAddress>& only = std::nullopt,
                                         PortSharing sharing = PortSharing::Alone,
                                         Families families = Families::Both);

    UdpListener(UdpListener&& other) noexcept;
    UdpListener& operator=(UdpListener&& other) noexcept;
    UdpListener(const UdpListener&) = delete;
    UdpListener& operator=(const UdpListener&) = delete;
    ~UdpListener();

    [[nodiscard]] int Fd() const { return m_fd; }
    [[nodiscard]] std::uint16_t Port() const { return m_place.port; }
    [[nodiscard]] const ListenPlace& Place() const { return m_place; }
    // What the kernel granted when asked for kWantedReceiveBuffer.
    [[nodiscard]] int ReceiveBufferBytes() const { return m_receiveBuffer; }
    // Datagrams the kernel dropped on this socket for want of buffer space, read from the
    // socket itself: drops are counted even when nothing arrives after them.
    [[nodiscard]] std::uint64_t KernelDrops() const;

private:
    explicit UdpListener(int fd);
    static OpenResult OpenEverywhere(std::uint16_t port, PortSharing sharing, Families families);
    // The opened listener's place with mark set.
    static OpenResult Marked(OpenResult opened, bool ListenPlace::*mark);
    // bothFamilies: an IPv6 socket that takes IPv4 too (IPV6_V6ONLY off); Linux sends through
    // it to an IPv4 address as given, so answers need no IPv4-mapped form.
    static OpenResult OpenAt(const PeerAddress& address, bool bothFamilies, PortSharing sharing);
    void CloseSocket();

    int m_fd = -1;
    ListenPlace m_place;
    int m_receiveBuffer = 0;
};

struct UdpListener::OpenResult {
    std::optional<UdpListener> listener;
    ListenError error = ListenError::None;
    int errorCode = 0;  // errno of the failed step
};

}  // namespace tarnwick
