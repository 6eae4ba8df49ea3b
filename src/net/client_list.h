#pragma once

// The senders of received datagrams. Only the newest one is ever read (commands go to it), so
// the list keeps just that entry: memory stays flat however long the centre runs.

#include <netinet/in.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace tarnwick {

struct socket_info {
    int sock = -1;         // the listening socket the datagram arrived on
    std::uint32_t ip = 0;  // sender address, network byte order
    std::string ipText;    // dotted decimal
    int port = 0;          // sender port, host byte order
    sockaddr_in addr{};    // sender address exactly as received: where replies go
    int reserved = 0;
    std::uint64_t listener = 0;  // which opening of the listener `sock` belongs to
};

// Builds the record of one sender, as the receive loop sees it.
[[nodiscard]] socket_info MakeSocketInfo(int sock, std::uint64_t listener, const sockaddr_in& from);

class ClientList {
public:
    void Append(socket_info info);
    // nullopt until the first sender has been recorded.
    [[nodiscard]] std::optional<socket_info> Newest() const;

private:
    mutable std::mutex m_mutex;
    std::optional<socket_info> m_newest;
};

}  // namespace tarnwick
