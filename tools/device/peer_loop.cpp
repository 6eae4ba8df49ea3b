#include "peer_loop.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <string_view>
#include <system_error>

namespace tarnwick::device {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kReply = "@517";
constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();
// Bounds one burst, so replies are read between bursts even when nothing else limits sending.
constexpr std::uint64_t kStepLimit = 4096;
constexpr auto kProgressInterval = 1s;
// Without --expect-replies nobody waits on the replies, so a silent centre must not hold the
// device up for the whole reply wait; replies that keep coming are still counted.
constexpr std::chrono::milliseconds kUnaskedReplyWait = 500ms;

bool IsReply(std::span<const std::uint8_t> bytes) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()) == kReply;
}

std::vector<SourceSender> OpenSenders(const DeviceOptions& options) {
    // The option parser has checked the host.
    const PeerAddress centre = *IpAddress(options.host, options.port);
    const unsigned batch = options.batch.value_or(kDefaultSendBatch);
    std::vector<SourceSender> senders;
    for (std::size_t i = 0; i < options.sources; ++i) {
        senders.emplace_back(UdpSocket::Open(centre.storage.ss_family), centre, i, options.sources,
                             batch);
    }
    return senders;
}

}  // namespace

PeerLoop::PeerLoop(const DeviceOptions& options, const DatagramSource& source, std::ostream& out,
                   std::ostream* chatter)
    : m_options(options),
      m_source(source),
      m_out(out),
      m_chatter(chatter),
      m_senders(OpenSenders(options)),
      m_receiver(options.batch.value_or(kDefaultReadBatch)),
      m_onDatagram([this](std::span<const std::uint8_t> bytes, const sockaddr_storage& from) {
          OnDatagram(bytes, from);
      }) {
    for (const SourceSender& sender : m_senders) {
        m_pollFds.push_back({sender.Fd(), POLLIN, 0});
    }
}

PeerStats PeerLoop::Run() {
    SendAll();
    AwaitReplies();
    PeerStats stats;
    stats.sent = m_sent;
    stats.records = m_records;
    stats.elapsed = std::max(m_lastSend, m_lastReply) - m_start;
    ReceiveUntil(Clock::now() + m_options.listen, false);
    stats.replies = m_replies;
    stats.commands = m_commands;
    stats.latencies = std::move(m_latencies);
    return stats;
}

void PeerLoop::SendAll() {
    m_start = m_lastSend = m_lastReply = m_lastActivity = Clock::now();
    m_nextProgress = m_start + kProgressInterval;
    while (!AllSent()) {
        const Clock::time_point now = Clock::now();
        const std::uint64_t rateFree = RateFree(now);
        const std::uint64_t windowFree = WindowFree();
        const std::uint64_t budget = std::min({rateFree, windowFree, kStepLimit});
        const bool progressed = budget > 0 && SendStep(budget) > 0;
        if (progressed) {
            m_lastSend = m_lastActivity = Clock::now();
        }
        const Clock::duration timeout = progressed
                                            ? Clock::duration::zero()
                                            : IdleWake(now, rateFree == 0, windowFree == 0) - now;
        PollSockets(timeout, !progressed && budget > 0);
        WriteOffStalledWindow();
        ReportProgress();
    }
}

void PeerLoop::AwaitReplies() {
    const std::chrono::milliseconds quiet =
        m_options.expect_replies ? m_options.wait : std::min(m_options.wait, kUnaskedReplyWait);
    // A round that heard a reply is followed by another: a slow centre still answering is
    // waited for, however long its queue.
    Clock::time_point heard{};
    while (m_replies < m_records && heard != m_lastReply) {
        heard = m_lastReply;
        ReceiveUntil(std::max(m_lastSend, heard) + quiet, true);
    }
}

void PeerLoop::ReceiveUntil(Clock::time_point deadline, bool untilAnswered) {
    for (Clock::time_point now = Clock::now(); now < deadline; now = Clock::now()) {
        if (untilAnswered && m_replies >= m_records) {
            return;
        }
        PollSockets(deadline - now, false);
        ReportProgress();
    }
}

std::uint64_t PeerLoop::SendStep(std::uint64_t budget) {
    const std::uint64_t share = (budget + m_senders.size() - 1) / m_senders.size();
    std::uint64_t sent = 0;
    for (std::size_t i = 0; i < m_senders.size() && sent < budget; ++i) {
        SourceSender& sender = m_senders[m_turn];
        m_turn = (m_turn + 1) % m_senders.size();
        const SentCount step = sender.Send(m_source, std::min(share, budget - sent));
        sent += step.datagrams;
        m_records += step.records;
    }
    m_sent += sent;
    return sent;
}

bool PeerLoop::AllSent() const {
    return std::all_of(m_senders.begin(), m_senders.end(),
                       [this](const SourceSender& sender) { return sender.Done(m_source); });
}

std::uint64_t PeerLoop::RateFree(Clock::time_point now) const {
    if (m_options.rate == 0) {
        return kUnlimited;
    }
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    const auto allowed =
        static_cast<std::uint64_t>(seconds * static_cast<double>(m_options.rate)) + 1;
    return allowed > m_sent ? allowed - m_sent : 0;
}

std::uint64_t PeerLoop::WindowFree() const {
    if (!m_options.expect_replies) {
        return kUnlimited;
    }
    const std::uint64_t settled = m_replies + m_writtenOff;
    const std::uint64_t inFlight = m_records > settled ? m_records - settled : 0;
    return m_options.window > inFlight ? m_options.window - inFlight : 0;
}

PeerLoop::Clock::time_point PeerLoop::IdleWake(Clock::time_point now, bool rateFull,
                                               bool windowFull) const {
    Clock::time_point wake = now + kProgressInterval;
    if (rateFull) {
        const std::chrono::duration<double> slot(static_cast<double>(m_sent) /
                                                 static_cast<double>(m_options.rate));
        wake = std::min(wake, m_start + std::chrono::ceil<Clock::duration>(slot));
    }
    if (windowFull) {
        wake = std::min(wake, m_lastActivity + m_options.wait);
    }
    return wake;
}

void PeerLoop::PollSockets(Clock::duration timeout, bool wantWrite) {
    for (std::size_t i = 0; i < m_pollFds.size(); ++i) {
        const bool waitsToSend = wantWrite && !m_senders[i].Done(m_source);
        m_pollFds[i].events = static_cast<short>(POLLIN | (waitsToSend ? POLLOUT : 0));
        m_pollFds[i].revents = 0;
    }
    const Clock::duration bounded = std::max(timeout, Clock::duration::zero());
    const auto seconds = std::chrono::floor<std::chrono::seconds>(bounded);
    const timespec wait{seconds.count(), std::chrono::nanoseconds(bounded - seconds).count()};
    if (ppoll(m_pollFds.data(), m_pollFds.size(), &wait, nullptr) < 0 && errno != EINTR) {
        throw std::system_error(errno, std::generic_category(), "ppoll");
    }
    for (std::size_t i = 0; i < m_pollFds.size(); ++i) {
        if ((m_pollFds[i].revents & (POLLIN | POLLERR)) != 0) {
            m_draining = i;
            m_receiver.Drain(m_pollFds[i].fd, m_onDatagram);
        }
    }
}

void PeerLoop::OnDatagram(std::span<const std::uint8_t> bytes, const sockaddr_storage& from) {
    if (IsReply(bytes)) {
        ++m_replies;
        m_lastReply = m_lastActivity = Clock::now();
        if (const auto sent = m_senders[m_draining].TakeOldestSent()) {
            m_latencies.push_back(static_cast<std::uint32_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(m_lastReply - *sent)
                    .count()));
        }
        return;
    }
    ++m_commands;
    m_out << FormatCommandLine(AddressText(from), bytes) << std::endl;
}

void PeerLoop::WriteOffStalledWindow() {
    const Clock::time_point now = Clock::now();
    if (WindowFree() > 0 || now < m_lastActivity + m_options.wait) {
        return;
    }
    const std::uint64_t overdue = m_records - m_replies - m_writtenOff;
    m_writtenOff += overdue;
    m_lastActivity = now;
    if (m_chatter != nullptr) {
        *m_chatter << "tarnwick-device: " << overdue << " replies overdue; sending on" << std::endl;
    }
}

void PeerLoop::ReportProgress() {
    const Clock::time_point now = Clock::now();
    if (m_chatter == nullptr || now < m_nextProgress) {
        return;
    }
    m_nextProgress = now + kProgressInterval;
    *m_chatter << "tarnwick-device: sent " << m_sent << ", replies " << m_replies << std::endl;
}

}  // namespace tarnwick::device
