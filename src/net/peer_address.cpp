#include "net/peer_address.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>
#include <functional>
#include <string_view>

namespace tarnwick {

PeerAddress PeerAddress::From(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6) {
        return From(reinterpret_cast<const sockaddr_in6&>(address));
    }
    if (address.ss_family == AF_INET) {
        return From(reinterpret_cast<const sockaddr_in&>(address));
    }
    return {};
}

PeerAddress PeerAddress::From(const sockaddr_in& address) {
    PeerAddress peer;
    peer.m_address.v4 = address;
    return peer;
}

PeerAddress PeerAddress::From(const sockaddr_in6& address) {
    if (!IN6_IS_ADDR_V4MAPPED(&address.sin6_addr)) {
        PeerAddress peer;
        peer.m_address.v6 = address;
        return peer;
    }
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = address.sin6_port;
    std::memcpy(&v4.sin_addr, &address.sin6_addr.s6_addr[12], sizeof v4.sin_addr);
    return From(v4);
}

std::optional<PeerAddress> PeerAddress::FromText(const std::string& address, std::uint16_t port) {
    sockaddr_in v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        return From(v4);
    }
    sockaddr_in6 v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        return From(v6);
    }
    return std::nullopt;
}

std::string PeerAddress::Text() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (m_address.family == AF_INET) {
        // Every record's sender is written out: to_chars, where inet_ntop goes through sprintf.
        const auto* octet = reinterpret_cast<const std::uint8_t*>(&m_address.v4.sin_addr);
        char* end = text;
        for (int i = 0; i < 4; ++i) {
            end = std::to_chars(end, text + sizeof text, octet[i]).ptr;
            *end++ = '.';
        }
        return std::string(text, static_cast<std::size_t>(end - text - 1));
    }
    if (m_address.family == AF_INET6) {
        inet_ntop(AF_INET6, &m_address.v6.sin6_addr, text, sizeof text);
    }
    return text;
}

std::uint16_t PeerAddress::Port() const {
    // sin_port and sin6_port stand at the same place.
    return ntohs(m_address.v4.sin_port);
}

PeerAddress PeerAddress::WithPort(std::uint16_t port) const {
    PeerAddress moved = *this;
    moved.m_address.v4.sin_port = htons(port);  // sin6_port too, as in Port()
    return moved;
}

std::string PeerAddress::OrderKey() const {
    std::string key(1, IsIpv6() ? '6' : '4');
    if (IsIpv6()) {
        key.append(reinterpret_cast<const char*>(&m_address.v6.sin6_addr), sizeof(in6_addr));
    } else {
        key.append(reinterpret_cast<const char*>(&m_address.v4.sin_addr), sizeof(in_addr));
    }
    // Network byte order already sorts as a number does.
    key.append(reinterpret_cast<const char*>(&m_address.v4.sin_port), sizeof(in_port_t));
    return key;
}

socklen_t PeerAddress::Length() const {
    return IsIpv6() ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

bool PeerAddress::IsLoopback() const {
    if (IsIpv6()) {
        return IN6_IS_ADDR_LOOPBACK(&m_address.v6.sin6_addr);
    }
    return (ntohl(m_address.v4.sin_addr.s_addr) >> 24) == 127;
}

bool operator==(const PeerAddress& a, const PeerAddress& b) {
    if (a.m_address.family != b.m_address.family || a.Port() != b.Port()) {
        return false;
    }
    if (a.IsIpv6()) {
        return std::memcmp(&a.m_address.v6.sin6_addr, &b.m_address.v6.sin6_addr,
                           sizeof(in6_addr)) == 0 &&
               a.m_address.v6.sin6_scope_id == b.m_address.v6.sin6_scope_id;
    }
    return a.m_address.v4.sin_addr.s_addr == b.m_address.v4.sin_addr.s_addr;
}

std::size_t PeerAddress::Hash() const {
    const std::string_view bytes =
        IsIpv6() ? std::string_view(reinterpret_cast<const char*>(&m_address.v6.sin6_addr),
                                    sizeof(in6_addr))
                 : std::string_view(reinterpret_cast<const char*>(&m_address.v4.sin_addr),
                                    sizeof(in_addr));
    return std::hash<std::string_view>{}(bytes)*31 + Port();
}

}  // namespace tarnwick
