#include "receiver.h"

#include <cerrno>
#include <system_error>

namespace tarnwick::device {
namespace {

// Any UDP datagram fits, so a command is never printed cut short.
constexpr std::size_t kSlotBytes = 65536;

}  // namespace

Receiver::Receiver(unsigned batch)
    : m_buffers(new std::uint8_t[batch * kSlotBytes]),
      m_messages(batch),
      m_iov(batch),
      m_from(batch) {
    for (std::size_t i = 0; i < batch; ++i) {
        m_iov[i] = {m_buffers.get() + i * kSlotBytes, kSlotBytes};
        msghdr& header = m_messages[i].msg_hdr;
        header.msg_name = &m_from[i];
        header.msg_iov = &m_iov[i];
        header.msg_iovlen = 1;
    }
}

void Receiver::Drain(int fd, const Handler& handler) {
    for (;;) {
        for (mmsghdr& message : m_messages) {
            message.msg_hdr.msg_namelen = sizeof(sockaddr_storage);
        }
        const auto batch = static_cast<unsigned>(m_messages.size());
        const int count = recvmmsg(fd, m_messages.data(), batch, MSG_DONTWAIT, nullptr);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return;
            }
            throw std::system_error(errno, std::generic_category(), "recvmmsg");
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
            handler({m_buffers.get() + i * kSlotBytes, m_messages[i].msg_len}, m_from[i]);
        }
        if (static_cast<unsigned>(count) < batch) {
            return;
        }
    }
}

}  // namespace tarnwick::device
