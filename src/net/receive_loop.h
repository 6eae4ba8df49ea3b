#pragma once

// The body of a receive thread: datagrams read in batches, sorted, and put into the intake
// queue strictly in arrival order. Answers are not sent here: a record is answered only once
// its log entry is written.

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <ctime>
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

    struct Arrival {
        std::time_t wallClock;
        std::chrono::steady_clock::time_point steady;
    };

    // Waits until the socket is readable or Stop() wakes us.
    void WaitForWork();
    // Reads and handles what is queued on the socket; the number of datagrams read.
    std::size_t ReceiveBatch();
    void HandleDatagram(const mmsghdr& message, const sockaddr_in& from, const Arrival& at);
    void HandleSorted(SortedDatagram sorted, const socket_info& sender, const Arrival& at);
    void CountKernelDrops(const msghdr& header);

    ReceiveThreadArgs m_args;
    int m_wakeFd;
    std::stop_token m_stop;
    std::uint32_t m_kernelDropsSeen = 0;

    std::vector<std::uint8_t> m_buffers;
    std::array<iovec, kBatch> m_iov{};
    std::array<sockaddr_in, kBatch> m_from{};
    std::array<std::array<std::uint8_t, CMSG_SPACE(sizeof(std::uint32_t))>, kBatch> m_control{};
    std::array<mmsghdr, kBatch> m_messages{};
};

}  // namespace tarnwick
