#pragma once

// Where the receive thread's datagrams become records: each is counted, its sender noted as
// the newest client, and it is sorted; records and hex records go, finished, into the intake
// queue for the log stage, in arrival order, and everything else is counted by why it was
// dropped.

#include <atomic>
#include <cstdint>
#include <vector>

#include "net/client_list.h"
#include "net/receive_thread.h"
#include "record/datagram_sorter.h"
#include "record/recv_hand_off.h"
#include "session/counters.h"
#include "session/ordered_queue.h"

namespace tarnwick {

// The operator's two check boxes, read by the receive thread at the moment of use.
struct ReceiveSwitches {
    std::atomic<bool> autoReply{false};   // "Automatic reply with @517"
    std::atomic<bool> displayHex{false};  // " Hex" of the live display
};

using IntakeQueue = OrderedQueue<RecvHandOff>;

class DatagramIntake final : public DatagramSink {
public:
    DatagramIntake(const ReceiveSwitches& switches, ClientList& clients, EngineCounters& counters,
                   IntakeQueue& intake)
        : m_switches(switches), m_clients(clients), m_counters(counters), m_intake(intake) {}

    // Which socket, and which opening of the listener, the datagrams come in on from now on.
    void SetListener(int socket, std::uint64_t listener) {
        m_socket = socket;
        m_listener = listener;
    }

    void Take(std::span<const ReceivedDatagram> batch, const Arrival& at,
              std::stop_token stop) override;

private:
    void TakeOne(const ReceivedDatagram& datagram, const Arrival& at);
    void TakeSorted(SortedDatagram sorted, const PeerAddress& from, const Arrival& at);

    const ReceiveSwitches& m_switches;
    ClientList& m_clients;
    EngineCounters& m_counters;
    IntakeQueue& m_intake;
    // Survives Close and Listen, like the client list: used by one receive thread at a time.
    DatagramSorter m_sorter;
    int m_socket = -1;
    std::uint64_t m_listener = 0;
    std::vector<RecvHandOff> m_ready;  // one batch's hand-offs, queued under one lock
};

}  // namespace tarnwick
