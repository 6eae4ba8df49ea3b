#pragma once

// The body of a receive thread: datagrams read in batches and handed to the sink strictly in
// arrival order. Nothing is answered or judged here.

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <stop_token>
#include <vector>

#include "net/receive_thread.h"

namespace tarnwick {

class ReceiveLoop {
public:
    ReceiveLoop(const ReceiveThreadArgs& args, int wakeFd, std::stop_token stop);
    void Run();

private:
    static constexpr std::size_t kBatch = 32;
    // Room for one byte more than the largest datagram we take, so MSG_TRUNC is unambiguous.
    static constexpr std::size_t kSlot = kMaxDatagram + 1;

    // Waits until the socket is readable or Stop() wakes us.
    void WaitForWork();
    // Reads what is queued on the socket and hands it on; the number of datagrams read.
    std::size_t ReceiveBatch();
    void PrepareMessages();

    ReceiveThreadArgs m_args;
    int m_wakeFd;
    std::stop_token m_stop;

    std::vector<std::uint8_t> m_buffers;
    std::array<iovec, kBatch> m_iov{};
    std::array<sockaddr_storage, kBatch> m_from{};
    std::array<mmsghdr, kBatch> m_messages{};
    std::array<ReceivedDatagram, kBatch> m_batch{};
};

}  // namespace tarnwick
