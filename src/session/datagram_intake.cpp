#include "session/datagram_intake.h"

namespace tarnwick {

void DatagramIntake::Take(std::span<const ReceivedDatagram> batch, const Arrival& at,
                          std::stop_token stop) {
    for (const ReceivedDatagram& datagram : batch) {
        TakeOne(datagram, at);
    }
    m_intake.PushAll(m_ready, stop);
}

void DatagramIntake::TakeOne(const ReceivedDatagram& datagram, const Arrival& at) {
    Bump(m_counters.received);
    if (datagram.tooLong) {
        Bump(m_counters.droppedTooLong);
        return;
    }
    if (datagram.bytes.empty()) {
        Bump(m_counters.droppedEmpty);
        return;
    }
    m_clients.Append({m_socket, datagram.from, m_listener});
    const bool displayHex = m_switches.displayHex.load(std::memory_order_relaxed);
    TakeSorted(m_sorter.Sort(datagram.bytes, displayHex), datagram.from, at);
}

void DatagramIntake::TakeSorted(SortedDatagram sorted, const PeerAddress& from, const Arrival& at) {
    switch (sorted.verdict) {
        case Verdict::TextRecord: {
            Bump(m_counters.records);
            RecvHandOff record = MakeHandOff(HandOffKind::Text, from, sorted.body, at.wallClock);
            record.answer = m_switches.autoReply.load(std::memory_order_relaxed);
            record.listener = m_listener;
            record.arrived = at.steady;
            m_ready.push_back(std::move(record));
            return;
        }
        case Verdict::HexRecord:
            Bump(m_counters.hex);
            m_ready.push_back(MakeHandOff(HandOffKind::Hex, from, sorted.body, at.wallClock));
            return;
        case Verdict::Ignored:
            Bump(m_counters.droppedIgnored);
            return;
        case Verdict::InvalidCode:
            Bump(m_counters.droppedInvalidCode);
            return;
        case Verdict::NotRecord:
            Bump(m_counters.droppedNotRecord);
            return;
    }
}

}  // namespace tarnwick
