#include "source_sender.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <system_error>

namespace tarnwick::device {
namespace {

// Keeps the scratch space small when the datagrams are large.
constexpr std::size_t kBatchBytes = 1 << 20;

bool IsTransient(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS || error == EINTR;
}

}  // namespace

SourceSender::SourceSender(UdpSocket socket, const PeerAddress& centre, std::uint64_t first,
                           std::uint64_t stride, unsigned batch)
    : m_socket(std::move(socket)),
      m_centre(centre),
      m_next(first),
      m_stride(stride),
      m_messages(batch),
      m_iov(batch),
      m_scratch(batch),
      m_isRecord(batch) {}

SentCount SourceSender::Send(const DatagramSource& source, std::uint64_t budget) {
    SentCount sent;
    while (sent.datagrams < budget && !Done(source)) {
        const unsigned batch = FillBatch(source, budget - sent.datagrams);
        const int result = sendmmsg(m_socket.Fd(), m_messages.data(), batch, 0);
        if (result < 0 && !SkipRefused()) {
            break;
        }
        if (result > 0) {
            Took(static_cast<unsigned>(result), sent);
        }
    }
    return sent;
}

void SourceSender::Took(unsigned count, SentCount& sent) {
    const auto now = std::chrono::steady_clock::now();
    for (unsigned i = 0; i < count; ++i) {
        if (m_isRecord[i] != 0) {
            m_unanswered.push_back(now);
            ++sent.records;
        }
    }
    m_next += count * m_stride;
    sent.datagrams += count;
}

unsigned SourceSender::FillBatch(const DatagramSource& source, std::uint64_t limit) {
    unsigned count = 0;
    std::size_t bytes = 0;
    for (std::uint64_t index = m_next; index < source.Count() && count < limit &&
                                       count < m_messages.size() && bytes < kBatchBytes;
         index += m_stride, ++count) {
        const std::string_view data = source.At(index, m_scratch[count]);
        m_iov[count] = {const_cast<char*>(data.data()), data.size()};
        m_isRecord[count] = IsRecord(data) ? 1 : 0;
        msghdr& header = m_messages[count].msg_hdr;
        header = {};
        header.msg_name = &m_centre.storage;
        header.msg_namelen = m_centre.length;
        header.msg_iov = &m_iov[count];
        header.msg_iovlen = 1;
        bytes += data.size();
    }
    return count;
}

bool SourceSender::SkipRefused() {
    const int error = errno;
    if (IsTransient(error)) {
        return false;
    }
    if (error != EMSGSIZE) {
        throw std::system_error(error, std::generic_category(), "sendmmsg");
    }
    std::cerr << "tarnwick-device: datagram " << m_next + 1 << " not sent: " << std::strerror(error)
              << '\n';
    m_next += m_stride;
    return true;
}

std::optional<std::chrono::steady_clock::time_point> SourceSender::TakeOldestSent() {
    if (m_unanswered.empty()) {
        return std::nullopt;
    }
    const auto sent = m_unanswered.front();
    m_unanswered.pop_front();
    return sent;
}

}  // namespace tarnwick::device
