#include "net/receive_loop.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "net/datagram_sorter.h"

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

std::size_t ReceiveLoop::ReceiveBatch() {
    for (std::size_t i = 0; i < kBatch; ++i) {
        m_iov[i] = {m_buffers.data() + i * kSlot, kSlot};
        msghdr& h = m_messages[i].msg_hdr;
        h = {};
        h.msg_name = &m_from[i];
        h.msg_namelen = sizeof(sockaddr_in);
        h.msg_iov = &m_iov[i];
        h.msg_iovlen = 1;
        h.msg_control = m_control[i].data();
        h.msg_controllen = m_control[i].size();
    }
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
    // Once read, every datagram is handled, stop or not: the intake never turns one away.
    for (std::size_t i = 0; i < count; ++i) {
        HandleDatagram(m_messages[i], m_from[i], at);
    }
    return count;
}

void ReceiveLoop::HandleDatagram(const mmsghdr& message, const sockaddr_in& from,
                                 const Arrival& at) {
    EngineCounters& counters = m_args.counters;
    Bump(counters.received);
    CountKernelDrops(message.msg_hdr);
    if ((message.msg_hdr.msg_flags & MSG_TRUNC) != 0 || message.msg_len > kMaxDatagram) {
        Bump(counters.droppedTooLong);
        return;
    }
    if (message.msg_len == 0) {
        Bump(counters.droppedEmpty);
        return;
    }
    socket_info sender = MakeSocketInfo(m_args.socket, m_args.listener, from);
    m_args.clients.Append(sender);
    const auto* data = static_cast<const std::uint8_t*>(message.msg_hdr.msg_iov->iov_base);
    const bool displayHex = m_args.switches.displayHex.load(std::memory_order_relaxed);
    HandleSorted(m_args.sorter.Sort({data, message.msg_len}, displayHex), sender, at);
}

void ReceiveLoop::HandleSorted(SortedDatagram sorted, const socket_info& sender,
                               const Arrival& at) {
    EngineCounters& counters = m_args.counters;
    switch (sorted.verdict) {
        case Verdict::TextRecord: {
            Bump(counters.records);
            RecvHandOff record = MakeHandOff(HandOffKind::Text, sender.ipText, sender.port,
                                             sorted.body, at.wallClock);
            record.answer = m_args.switches.autoReply.load(std::memory_order_relaxed);
            record.from = sender.addr;
            record.listener = sender.listener;
            record.arrived = at.steady;
            m_args.intake.Push(std::move(record), m_stop);
            return;
        }
        case Verdict::HexRecord:
            Bump(counters.hex);
            m_args.intake.Push(MakeHandOff(HandOffKind::Hex, sender.ipText, sender.port,
                                           sorted.body, at.wallClock),
                               m_stop);
            return;
        case Verdict::Ignored:
            Bump(counters.droppedIgnored);
            return;
        case Verdict::InvalidCode:
            Bump(counters.droppedInvalidCode);
            return;
        case Verdict::NotRecord:
            Bump(counters.droppedNotRecord);
            return;
    }
}

void ReceiveLoop::CountKernelDrops(const msghdr& header) {
    for (const cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr;
         c = CMSG_NXTHDR(const_cast<msghdr*>(&header), const_cast<cmsghdr*>(c))) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
            std::uint32_t total = 0;
            std::memcpy(&total, CMSG_DATA(c), sizeof total);
            if (total > m_kernelDropsSeen) {
                Bump(m_args.counters.kernelDrops, total - m_kernelDropsSeen);
                m_kernelDropsSeen = total;
            }
        }
    }
}

}  // namespace tarnwick
