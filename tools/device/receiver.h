#pragma once

// Reads the datagrams waiting on a socket, in recvmmsg batches.

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace tarnwick::device {

// How many datagrams one recvmmsg reads unless --batch says otherwise.
inline constexpr unsigned kDefaultReadBatch = 64;

class Receiver {
public:
    using Handler =
        std::function<void(std::span<const std::uint8_t> bytes, const sockaddr_storage& from)>;

    // batch: datagrams per recvmmsg call at most.
    explicit Receiver(unsigned batch);

    // Hands every datagram waiting on the non-blocking socket fd to handler, in arrival order.
    // Throws std::system_error when reading fails for another reason than an empty socket.
    void Drain(int fd, const Handler& handler);

private:
    std::unique_ptr<std::uint8_t[]> m_buffers;
    std::vector<mmsghdr> m_messages;
    std::vector<iovec> m_iov;
    std::vector<sockaddr_storage> m_from;
};

}  // namespace tarnwick::device
