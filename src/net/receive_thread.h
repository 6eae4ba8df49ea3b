#pragma once

// One receive thread per open listener. It reads datagrams in batches until its listener
// closes and hands each batch, with its senders and time of arrival, to a sink; nothing a peer
// sends ends it, and transient socket errors are passed over. Stop() wakes it wherever it
// waits and joins it, so no thread outlives its listener.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <span>
#include <stop_token>
#include <thread>

#include "net/peer_address.h"

namespace tarnwick {

// Datagrams longer than this are dropped whole, never truncated.
inline constexpr std::size_t kMaxDatagram = 4096;

// When a batch arrived: the wall clock for what is shown, the steady clock for what is timed.
struct Arrival {
    std::time_t wallClock = 0;
    std::chrono::steady_clock::time_point steady{};
};

struct ReceivedDatagram {
    std::span<const std::uint8_t> bytes;  // empty when tooLong
    bool tooLong = false;                 // over kMaxDatagram: not to be used at all
    PeerAddress from;
};

// Takes every datagram read, in arrival order, on the receive thread. stop: requested when the
// listener is closing; the sink must then take what it was given without waiting.
class DatagramSink {
public:
    virtual ~DatagramSink() = default;
    virtual void Take(std::span<const ReceivedDatagram> batch, const Arrival& at,
                      std::stop_token stop) = 0;
};

struct ReceiveThreadArgs {
    int socket;          // the bound listening socket; the thread never closes it
    DatagramSink& sink;  // outlives the thread
};

class ReceiveThread {
public:
    // The running thread, or nothing with error set to why it could not start (no descriptor
    // for its wake-up, no thread, no memory).
    [[nodiscard]] static std::unique_ptr<ReceiveThread> Start(const ReceiveThreadArgs& args,
                                                              int& error);
    ReceiveThread(const ReceiveThread&) = delete;
    ReceiveThread& operator=(const ReceiveThread&) = delete;
    ~ReceiveThread();

    // Ends the thread promptly and joins it.
    void Stop();

private:
    explicit ReceiveThread(int wakeFd) : m_wakeFd(wakeFd) {}

    int m_wakeFd;
    std::jthread m_thread;
};

}  // namespace tarnwick
