#pragma once

// Made-up device senders for the benchmarks that fill the device table without a network:
// device N's address and port, 50,000 ports to an address.

#include <arpa/inet.h>

#include <cstdint>

#include "net/client_list.h"

inline tarnwick::socket_info NumberedSender(int device) {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_port = htons(static_cast<std::uint16_t>(10000 + device % 50000));
    from.sin_addr.s_addr = htonl(0x0A000000u + static_cast<std::uint32_t>(device / 50000));
    return {3, tarnwick::PeerAddress::From(from), 1};
}
