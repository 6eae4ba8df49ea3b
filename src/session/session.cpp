#include "session/session.h"

#include <sys/socket.h>

#include <cerrno>
#include <condition_variable>
#include <system_error>

namespace tarnwick {

namespace {

// The folder part of a log file's path.
std::string FolderOf(const std::string& logFile) {
    const std::size_t slash = logFile.rfind('/');
    return slash == std::string::npos ? "." : logFile.substr(0, slash);
}

}  // namespace

Session::Session(SessionConfig config)
    : m_journal(FolderOf(config.logFile), config.sync),
      m_devices(std::move(config.devices), &m_journal, std::move(config.holdClock)),
      m_output(std::move(config.wake), config.capacity),
      m_intake({}, config.capacity),
      m_datagrams(m_switches, m_clients, m_counters, m_intake),
      m_logStage(std::move(config.logFile), std::move(config.clock), config.sync, m_counters,
                 m_devices, m_output, std::move(config.heartbeat)),
      m_now(std::move(config.now)) {
    SetAutoReply(config.autoReply);
    SetDisplayHex(config.displayHex);
}

Session::~Session() {
    Close();
}

ListenResult Session::Listen(std::uint16_t port, const std::optional<PeerAddress>& only,
                             PortSharing sharing, Families families) {
    Close();
    auto opened = UdpListener::Open(port, only, sharing, families);
    if (!opened.listener) {
        return {opened.error, opened.errorCode};
    }
    {
        std::lock_guard lock(m_listenerGuard);
        m_listener = std::move(opened.listener);
    }
    ++m_listenerId;
    if (int error = 0; !StartUpkeep(error)) {
        return NotStarted(error);
    }
    try {
        m_logStage.Start(m_listener->Fd(), m_intake);
    } catch (const std::system_error& failure) {
        return NotStarted(failure.code().value());
    }
    m_datagrams.SetListener(m_listener->Fd(), m_listenerId);
    int error = 0;
    m_thread = ReceiveThread::Start({m_listener->Fd(), m_datagrams}, error);
    return m_thread ? ListenResult{} : NotStarted(error);
}

bool Session::StartUpkeep(int& error) {
    if (m_upkeep.joinable()) {
        return true;
    }
    // Counting starts before the first record can arrive, not at the first tick.
    SampleRates(m_now());
    try {
        m_upkeep = std::jthread([this](std::stop_token stop) { Upkeep(std::move(stop)); });
    } catch (const std::system_error& failure) {
        error = failure.code().value();
        return false;
    }
    return true;
}

void Session::Upkeep(std::stop_token stop) {
    constexpr auto kTickEvery = std::chrono::seconds(1);
    std::mutex mutex;
    std::condition_variable_any stopped;
    std::unique_lock lock(mutex);
    while (!stopped.wait_for(lock, stop, kTickEvery, [] { return false; }) &&
           !stop.stop_requested()) {
        const Moment now = m_now();
        m_devices.Tick(now);
        SampleRates(now);
    }
}

void Session::SampleRates(const Moment& now) {
    const CounterSnapshot counters = Counters();
    m_rates.Sample(now.steady, counters.records, Dropped(counters) + counters.kernelDrops);
}

ListenResult Session::NotStarted(int errorCode) {
    // A socket without its threads would look open and receive nothing.
    Close();
    return {ListenError::ThreadStart, errorCode};
}

void Session::Close() {
    // In this order: nothing more comes in, what came in is logged and answered, and only
    // then does the socket the answers go through close.
    m_thread.reset();
    m_logStage.Stop();
    std::lock_guard lock(m_listenerGuard);
    if (m_listener) {
        m_kernelDropsBefore += m_listener->KernelDrops();
    }
    m_listener.reset();
}

CounterSnapshot Session::Counters() const {
    CounterSnapshot counters = m_counters.Snapshot();
    std::lock_guard lock(m_listenerGuard);
    counters.kernelDrops = m_kernelDropsBefore + (m_listener ? m_listener->KernelDrops() : 0);
    return counters;
}

std::uint16_t Session::Port() const {
    return m_listener ? m_listener->Port() : 0;
}

ListenPlace Session::Place() const {
    return m_listener ? m_listener->Place() : ListenPlace{};
}

int Session::ReceiveBufferBytes() const {
    return m_listener ? m_listener->ReceiveBufferBytes() : 0;
}

SendResult Session::SendToClient(const socket_info& client, std::span<const std::uint8_t> datagram,
                                 std::string_view text, std::string_view source) {
    if (!m_listener || client.listener != m_listenerId) {
        return {SendResult::Status::Failed, EBADF};
    }
    const auto sent = sendto(m_listener->Fd(), datagram.data(), datagram.size(), 0,
                             client.addr.Sockaddr(), client.addr.Length());
    const int error = sent < 0 ? errno : 0;
    m_devices.CommandSent(client.addr, text, source, m_now().wall, error);
    if (error != 0) {
        return {SendResult::Status::Failed, error};
    }
    return {};
}

void Session::SetLogFile(std::string path) {
    m_journal.SetFolder(FolderOf(path));
    m_logStage.SetLogFile(std::move(path));
}

}  // namespace tarnwick
