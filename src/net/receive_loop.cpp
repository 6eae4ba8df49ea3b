#include "net/receive_loop.h"

#include <poll.h>
#include <unistd.h>

namespace tarnwick {

ReceiveLoop::ReceiveLoop(const ReceiveThreadArgs& args, int wakeFd, std::stop_token stop)
    : m_args(args), m_wakeFd(wakeFd), m_stop(std::move(stop)), m_buffers(kBatch * kSlot) {}

void ReceiveLoop::Run() {
    while (!m_stop.stop_requested()) {
        if (ReceiveBatch() == 0) {
            WaitForWork();
        }
    }
}

void ReceiveLoop::WaitForWork() {
    pollfd fds[2] = {{m_args.socket, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    // EINTR and friends only mean: look again.
    poll(fds, 2, -1);
}

void ReceiveLoop::PrepareMessages() {
    for (std::size_t i = 0; i < kBatch; ++i) {
        m_iov[i] = {m_buffers.data() + i * kSlot, kSlot};
        msghdr& h = m_messages[i].msg_hdr;
        h = {};
        h.msg_name = &m_from[i];
        h.msg_namelen = sizeof(sockaddr_storage);
        h.msg_iov = &m_iov[i];
        h.msg_iovlen = 1;
    }
}

std::size_t ReceiveLoop::ReceiveBatch() {
    PrepareMessages();
    const int n = recvmmsg(m_args.socket, m_messages.data(), kBatch, MSG_DONTWAIT, nullptr);
    if (n <= 0) {
        // Nothing queued, or a transient error (an ICMP port-unreachable surfacing as
        // ECONNREFUSED, ENOBUFS, EINTR): either way, wait and read again.
        return 0;
    }
    timespec wall{};
    clock_gettime(CLOCK_REALTIME_COARSE, &wall);
    const Arrival at{wall.tv_sec, std::chrono::steady_clock::now()};
    const auto count = static_cast<std::size_t>(n);
    for (std::size_t i = 0; i < count; ++i) {
        const mmsghdr& message = m_messages[i];
        const bool tooLong =
            (message.msg_hdr.msg_flags & MSG_TRUNC) != 0 || message.msg_len > kMaxDatagram;
        const std::span<const std::uint8_t> bytes(m_buffers.data() + i * kSlot,
                                                  tooLong ? 0 : message.msg_len);
        m_batch[i] = {bytes, tooLong, PeerAddress::From(m_from[i])};
    }
    // Once read, every datagram is handed on, stop or not: the sink never turns one away.
    m_args.sink.Take(std::span(m_batch.data(), count), at, m_stop);
    return count;
}

}  // namespace tarnwick
