#pragma once

// The address and port of a peer, IPv4 or IPv6, as a value: compared, hashed, shown and handed
// to the socket calls, never carried as text.

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tarnwick {

class PeerAddress {
public:
    PeerAddress() = default;
    // What recvmmsg or getsockname filled in; an IPv4-mapped IPv6 address becomes the IPv4
    // address it maps, so one device never has two spellings.
    static PeerAddress From(const sockaddr_storage& address);
    static PeerAddress From(const sockaddr_in& address);
    static PeerAddress From(const sockaddr_in6& address);
    // An IPv4 or IPv6 address as text, and a port; nothing when the text is no address.
    static std::optional<PeerAddress> FromText(const std::string& address, std::uint16_t port);

    [[nodiscard]] bool IsIpv6() const { return m_address.family == AF_INET6; }
    // 127.0.0.0/8 or ::1: reached from this machine alone.
    [[nodiscard]] bool IsLoopback() const;
    // Dotted decimal, or the RFC 5952 text of an IPv6 address; empty for no address.
    [[nodiscard]] std::string Text() const;
    [[nodiscard]] std::uint16_t Port() const;

    [[nodiscard]] const sockaddr* Sockaddr() const { return &m_address.any; }
    [[nodiscard]] socklen_t Length() const;
    // The same address on another port, as bind takes it.
    [[nodiscard]] PeerAddress WithPort(std::uint16_t port) const;

    // Bytes that order addresses as people do: IPv4 before IPv6, each numerically, then by
    // port.
    [[nodiscard]] std::string OrderKey() const;

    friend bool operator==(const PeerAddress& a, const PeerAddress& b);
    [[nodiscard]] std::size_t Hash() const;

private:
    union Storage {
        sa_family_t family;
        sockaddr any;
        sockaddr_in v4;
        sockaddr_in6 v6;
    };
    Storage m_address{};
};

struct PeerAddressHash {
    std::size_t operator()(const PeerAddress& address) const { return address.Hash(); }
};

}  // namespace tarnwick
