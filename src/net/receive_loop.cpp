#include "net/receive_loop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "net/datagram_sorter.h"

namespace tarnwick {
namespace {

constexpr std::uint8_t kReply[] = {'@', '5', '1', '7'};

timespec ToTimespec(ReplyQueue::Clock::duration d) {
    using namespace std::chrono;
    if (d < ReplyQueue::Clock::duration::zero()) {
        d = ReplyQueue::Clock::duration::zero();
    }
    const auto secs = duration_cast<seconds>(d);
    return {static_cast<time_t>(secs.count()),
            static_cast<long>(duration_cast<nanoseconds>(d - secs).count())};
}

}  // namespace

ReceiveLoop::ReceiveLoop(const ReceiveThreadArgs& args, int wakeFd, std::stop_token stop)
    : m_args(args), m_wakeFd(wakeFd), m_stop(std::move(stop)), m_buffers(kBatch * kSlot) {
    m_due.reserve(kBatch);
}

void ReceiveLoop::Run() {
    while (!m_stop.stop_requested()) {
        SendDueReplies(ReplyQueue::Clock::now());
        if (ReceiveBatch() == 0) {
            WaitForWork();
        }
    }
    FlushReplies();
}

void ReceiveLoop::WaitForWork() {
    pollfd fds[2] = {{m_args.socket, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    timespec timeout{};
    const timespec* wait = nullptr;
    if (const auto due = m_replies.NextDue()) {
        timeout = ToTimespec(*due - ReplyQueue::Clock::now());
        wait = &timeout;
    }
    // EINTR and friends only mean: look again.
    ppoll(fds, 2, wait, nullptr);
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
    const Arrival at{wall.tv_sec, ReplyQueue::Clock::now()};
    const auto count = static_cast<std::size_t>(n);
    for (std::size_t i = 0; i < count && !m_stop.stop_requested(); ++i) {
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
    HandleSorted(m_args.sorter.Sort({data, message.msg_len}, m_args.frontEnd.DisplayHexTicked()),
                 sender, at);
}

void ReceiveLoop::HandleSorted(SortedDatagram sorted, const socket_info& sender,
                               const Arrival& at) {
    EngineCounters& counters = m_args.counters;
    switch (sorted.verdict) {
        case Verdict::TextRecord:
            Bump(counters.records);
            if (m_args.frontEnd.AutoReplyTicked()) {
                m_replies.Add(sender.addr, at.steady);
            }
            m_args.frontEnd.PostTextRecord(MakeHandOff(HandOffKind::Text, sender.ipText,
                                                       sender.port, sorted.body, at.wallClock),
                                           m_stop);
            return;
        case Verdict::HexRecord:
            Bump(counters.hex);
            m_args.frontEnd.InsertHexRecord(MakeHandOff(HandOffKind::Hex, sender.ipText,
                                                        sender.port, sorted.body, at.wallClock),
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

void ReceiveLoop::SendDueReplies(ReplyQueue::Clock::time_point now) {
    m_due.clear();
    m_replies.TakeDue(now, m_due);
    SendReplies(m_due);
}

void ReceiveLoop::SendReplies(const std::vector<sockaddr_in>& to) {
    std::array<iovec, kBatch> iov{};
    std::array<mmsghdr, kBatch> messages{};
    for (std::size_t start = 0; start < to.size();) {
        const std::size_t count = std::min(kBatch, to.size() - start);
        for (std::size_t i = 0; i < count; ++i) {
            iov[i] = {const_cast<std::uint8_t*>(kReply), sizeof kReply};
            messages[i] = {};
            messages[i].msg_hdr.msg_name = const_cast<sockaddr_in*>(&to[start + i]);
            messages[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
            messages[i].msg_hdr.msg_iov = &iov[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        const int sent = sendmmsg(m_args.socket, messages.data(), static_cast<unsigned>(count), 0);
        // A reply that fails is passed over, as the record is still handed over.
        const std::size_t advanced = sent > 0 ? static_cast<std::size_t>(sent) : 1;
        if (sent > 0) {
            Bump(m_args.counters.replies, static_cast<std::uint64_t>(sent));
        }
        start += advanced;
    }
}

void ReceiveLoop::FlushReplies() {
    // Replies for records already taken in keep their 1 ms; that is all the wait Stop() costs.
    while (const auto due = m_replies.NextDue()) {
        const timespec wait = ToTimespec(*due - ReplyQueue::Clock::now());
        nanosleep(&wait, nullptr);
        SendDueReplies(ReplyQueue::Clock::now());
    }
}

}  // namespace tarnwick
