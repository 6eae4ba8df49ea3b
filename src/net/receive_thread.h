#pragma once

// One receive thread per open listener. It reads datagrams until its listener closes and puts
// every record, in arrival order, into the intake queue; nothing a peer sends ends it: bad
// datagrams are counted and dropped, transient socket errors passed over. Stop() wakes it
// wherever it waits and joins it, so no thread outlives its listener.

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "net/client_list.h"
#include "net/datagram_sorter.h"
#include "net/engine_counters.h"
#include "net/ordered_queue.h"
#include "net/recv_hand_off.h"

namespace tarnwick {

// The operator's two check boxes, read by the receive thread at the moment of use.
struct ReceiveSwitches {
    std::atomic<bool> autoReply{false};   // "Automatic reply with @517"
    std::atomic<bool> displayHex{false};  // " Hex" of the live display
};

using IntakeQueue = OrderedQueue<RecvHandOff>;

struct ReceiveThreadArgs {
    int socket;              // the bound listening socket; the thread never closes it
    std::uint64_t listener;  // which opening of the listener this is
    const ReceiveSwitches& switches;
    IntakeQueue& intake;
    ClientList& clients;
    EngineCounters& counters;
    DatagramSorter& sorter;  // used by one receive thread at a time
};

// Datagrams longer than this are dropped whole, never truncated.
inline constexpr std::size_t kMaxDatagram = 4096;

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
