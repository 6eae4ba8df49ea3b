#pragma once

// The batched ceiling: answers "@517" to every device record and to nothing else, reading with
// recvmmsg and answering with sendmmsg, as many datagrams a call as the socket has ready (up to
// the batch). What a centre that batches could reach if it did nothing but answer.

#include <netinet/in.h>
#include <sys/socket.h>

#include <csignal>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "record/record_rules.h"

namespace bench {

class BatchedEcho {
public:
    explicit BatchedEcho(unsigned batch)
        : m_buffers(new std::uint8_t[batch * kSlotBytes]),
          m_in(batch),
          m_inIov(batch),
          m_from(batch),
          m_out(batch) {
        for (std::size_t i = 0; i < batch; ++i) {
            m_inIov[i] = {m_buffers.get() + i * kSlotBytes, kSlotBytes};
            m_in[i].msg_hdr.msg_name = &m_from[i];
            m_in[i].msg_hdr.msg_iov = &m_inIov[i];
            m_in[i].msg_hdr.msg_iovlen = 1;
        }
    }

    // Until stop is set; fd blocks, with a receive timeout so that stop is seen.
    void Run(int fd, const volatile std::sig_atomic_t& stop) {
        while (stop == 0) {
            const int count = Receive(fd);
            if (count > 0) {
                SendAnswers(fd, FillAnswers(static_cast<unsigned>(count)));
            }
        }
    }

private:
    // Any UDP datagram fits, so a long one is never taken for a record by its cut end.
    static constexpr std::size_t kSlotBytes = 65536;
    static constexpr std::string_view kReply = "@517";

    // Waits for the first datagram, then takes what else is ready.
    int Receive(int fd) {
        for (mmsghdr& message : m_in) {
            message.msg_hdr.msg_namelen = sizeof(sockaddr_storage);
        }
        return recvmmsg(fd, m_in.data(), static_cast<unsigned>(m_in.size()), MSG_WAITFORONE,
                        nullptr);
    }

    // Fills the first answers, one per record among the count datagrams read; returns how many.
    unsigned FillAnswers(unsigned count) {
        unsigned answers = 0;
        for (unsigned i = 0; i < count; ++i) {
            const std::span bytes(m_buffers.get() + i * kSlotBytes, m_in[i].msg_len);
            if (!tarnwick::IsDeviceRecord(tarnwick::DatagramText(bytes))) {
                continue;
            }
            msghdr& header = m_out[answers++].msg_hdr;
            header.msg_name = &m_from[i];
            header.msg_namelen = m_in[i].msg_hdr.msg_namelen;
            header.msg_iov = &m_replyIov;
            header.msg_iovlen = 1;
        }
        return answers;
    }

    // A failed send drops what is left of the batch, as a full socket drops a reply.
    void SendAnswers(int fd, unsigned count) {
        for (unsigned sent = 0; sent < count;) {
            const int result = sendmmsg(fd, m_out.data() + sent, count - sent, 0);
            if (result <= 0) {
                return;
            }
            sent += static_cast<unsigned>(result);
        }
    }

    std::unique_ptr<std::uint8_t[]> m_buffers;
    std::vector<mmsghdr> m_in;
    std::vector<iovec> m_inIov;
    std::vector<sockaddr_storage> m_from;
    std::vector<mmsghdr> m_out;
    iovec m_replyIov{const_cast<char*>(kReply.data()), kReply.size()};
};

}  // namespace bench
