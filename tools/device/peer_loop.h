#pragma once

// The device's one loop: send the datagrams (paced by the rate and by the window of unanswered
// records), count the centre's replies, print its commands, then wait for late replies and listen.

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <ostream>
#include <vector>

#include "datagram_source.h"
#include "device_options.h"
#include "receiver.h"
#include "report.h"
#include "source_sender.h"

namespace tarnwick::device {

class PeerLoop {
public:
    // out gets the command lines; chatter, when not null, the progress lines.
    PeerLoop(const DeviceOptions& options, const DatagramSource& source, std::ostream& out,
             std::ostream* chatter);
    PeerLoop(const PeerLoop&) = delete;
    PeerLoop& operator=(const PeerLoop&) = delete;

    // Throws std::system_error when a socket fails.
    PeerStats Run();

private:
    using Clock = std::chrono::steady_clock;

    void SendAll();
    // Receives until every record sent is answered or none has been heard of for the reply wait.
    void AwaitReplies();
    // Receives until deadline, or until every record sent is answered when untilAnswered.
    void ReceiveUntil(Clock::time_point deadline, bool untilAnswered);
    // Spreads budget over the sources in turn; returns how many datagrams left.
    std::uint64_t SendStep(std::uint64_t budget);
    [[nodiscard]] bool AllSent() const;
    [[nodiscard]] std::uint64_t RateFree(Clock::time_point now) const;
    [[nodiscard]] std::uint64_t WindowFree() const;
    [[nodiscard]] Clock::time_point IdleWake(Clock::time_point now, bool rateFull,
                                             bool windowFull) const;
    // Waits up to timeout for datagrams (and for room to send when wantWrite), then reads them.
    void PollSockets(Clock::duration timeout, bool wantWrite);
    void OnDatagram(std::span<const std::uint8_t> bytes, const sockaddr_storage& from);
    // A full window that has heard nothing for the reply wait (--wait-ms) has lost its replies:
    // they stop holding slots, or the run would stall for good.
    void WriteOffStalledWindow();
    void ReportProgress();

    const DeviceOptions& m_options;
    const DatagramSource& m_source;
    std::ostream& m_out;
    std::ostream* m_chatter;
    std::vector<SourceSender> m_senders;
    std::vector<pollfd> m_pollFds;
    Receiver m_receiver;
    Receiver::Handler m_onDatagram;
    std::size_t m_turn = 0;      // the sender that goes first in the next step
    std::size_t m_draining = 0;  // the sender whose socket is being read
    std::vector<std::uint32_t> m_latencies;

    std::uint64_t m_sent = 0;
    std::uint64_t m_records = 0;  // of the datagrams sent, those the centre answers
    std::uint64_t m_replies = 0;
    std::uint64_t m_writtenOff = 0;  // unanswered records no longer held in the window
    std::uint64_t m_commands = 0;
    Clock::time_point m_start;
    Clock::time_point m_lastSend;
    Clock::time_point m_lastReply;
    Clock::time_point m_lastActivity;  // last send, reply or write-off: when the window last moved
    Clock::time_point m_nextProgress;
};

}  // namespace tarnwick::device
