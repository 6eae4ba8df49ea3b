#pragma once

// One receive thread per open listener. It reads datagrams until its listener closes, and
// nothing a peer sends ends it: bad datagrams are counted and dropped, transient socket errors
// passed over. Stop() wakes it wherever it waits and joins it, so no thread outlives its
// listener.

#include <cstdint>
#include <thread>

#include "net/client_list.h"
#include "net/datagram_sorter.h"
#include "net/engine_counters.h"
#include "net/receive_front_end.h"

namespace tarnwick {

struct ReceiveThreadArgs {
    int socket;              // the bound listening socket; the thread never closes it
    std::uint64_t listener;  // which opening of the listener this is
    ReceiveFrontEnd& frontEnd;
    ClientList& clients;
    EngineCounters& counters;
    DatagramSorter& sorter;  // used by one receive thread at a time
};

// Datagrams longer than this are dropped whole, never truncated.
inline constexpr std::size_t kMaxDatagram = 4096;

class ReceiveThread {
public:
    explicit ReceiveThread(const ReceiveThreadArgs& args);
    ReceiveThread(const ReceiveThread&) = delete;
    ReceiveThread& operator=(const ReceiveThread&) = delete;
    ~ReceiveThread();

    // Ends the thread promptly and joins it; replies already due go out first.
    void Stop();

private:
    int m_wakeFd;
    std::jthread m_thread;
};

}  // namespace tarnwick
