#pragma once

// The senders of received datagrams. Only the newest one is ever read (commands go to it), so
// the list keeps just that entry: memory stays flat however long the centre runs.

#include <cstdint>
#include <mutex>
#include <optional>

#include "net/peer_address.h"

namespace tarnwick {

struct socket_info {
    int sock = -1;               // the listening socket the datagram arrived on
    PeerAddress addr;            // sender address exactly as received: where replies go
    std::uint64_t listener = 0;  // which opening of the listener `sock` belongs to
};

class ClientList {
public:
    void Append(const socket_info& info);
    // nullopt until the first sender has been recorded.
    [[nodiscard]] std::optional<socket_info> Newest() const;

private:
    mutable std::mutex m_mutex;
    std::optional<socket_info> m_newest;
};

}  // namespace tarnwick
