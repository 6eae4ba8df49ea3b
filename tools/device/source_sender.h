#pragma once

// One source port's share of the datagrams: indices first, first + stride, first + 2 stride ...
// sent in that order with sendmmsg batches.

#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "datagram_source.h"
#include "udp_socket.h"

namespace tarnwick::device {

struct SentCount {
    std::uint64_t datagrams = 0;
    std::uint64_t records = 0;  // of those datagrams, the ones the centre answers
};

// How many datagrams one sendmmsg sends unless --batch says otherwise.
inline constexpr unsigned kDefaultSendBatch = 512;

class SourceSender {
public:
    // batch: datagrams per sendmmsg call at most.
    SourceSender(UdpSocket socket, const PeerAddress& centre, std::uint64_t first,
                 std::uint64_t stride, unsigned batch);

    // Sends up to budget of this source's next datagrams and returns how many the system took:
    // fewer when the socket is full for now or the source has run out. A datagram the system
    // refuses outright (too large) is skipped with a note on stderr. Throws std::system_error on
    // any other failure.
    SentCount Send(const DatagramSource& source, std::uint64_t budget);

    [[nodiscard]] bool Done(const DatagramSource& source) const { return m_next >= source.Count(); }
    // When the oldest record not yet answered was sent: replies come back in sending order.
    [[nodiscard]] std::optional<std::chrono::steady_clock::time_point> TakeOldestSent();
    [[nodiscard]] int Fd() const { return m_socket.Fd(); }

private:
    // Fills the first messages with up to limit datagrams from m_next; returns how many.
    unsigned FillBatch(const DatagramSource& source, std::uint64_t limit);
    // Moves past the first count datagrams of the batch, which the system took.
    void Took(unsigned count, SentCount& sent);
    // After sendmmsg failed: true when the datagram at m_next was skipped, false to try later.
    bool SkipRefused();

    UdpSocket m_socket;
    PeerAddress m_centre;
    std::uint64_t m_next;
    std::uint64_t m_stride;
    std::vector<mmsghdr> m_messages;
    std::vector<iovec> m_iov;
    std::vector<std::string> m_scratch;  // generated records of the batch being sent
    std::vector<char> m_isRecord;        // of the batch being sent
    std::deque<std::chrono::steady_clock::time_point> m_unanswered;  // when each record was sent
};

}  // namespace tarnwick::device
