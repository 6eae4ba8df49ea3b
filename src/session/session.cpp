#include "session/session.h"

#include <sys/socket.h>

#include <cerrno>
#include <system_error>

#include "net/port_text.h"

namespace tarnwick {

Session::Session(SessionConfig config)
    : m_devices(std::move(config.devices)),
      m_output(std::move(config.wake), config.capacity),
      m_intake({}, config.capacity),
      m_logStage(std::move(config.logFile), std::move(config.clock), config.sync, m_counters,
                 m_devices, m_output) {}

Session::~Session() {
    Close();
}

ListenResult Session::Listen(std::string_view portText) {
    Close();
    const auto port = ParsePortText(portText);
    if (!port) {
        return {ListenError::EmptyPort, 0};
    }
    auto opened = UdpListener::Open(*port);
    if (!opened.listener) {
        return {opened.error, opened.errorCode};
    }
    m_listener = std::move(opened.listener);
    ++m_listenerId;
    try {
        m_logStage.Start(m_listener->Fd(), m_intake);
    } catch (const std::system_error& failure) {
        return NotStarted(failure.code().value());
    }
    int error = 0;
    m_thread = ReceiveThread::Start(
        {m_listener->Fd(), m_listenerId, m_switches, m_intake, m_clients, m_counters, m_sorter},
        error);
    return m_thread ? ListenResult{} : NotStarted(error);
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
    m_listener.reset();
}

std::uint16_t Session::Port() const {
    return m_listener ? m_listener->Port() : 0;
}

int Session::ReceiveBufferBytes() const {
    return m_listener ? m_listener->ReceiveBufferBytes() : 0;
}

SendResult Session::SendToClient(const socket_info& client,
                                 std::span<const std::uint8_t> datagram) {
    if (!m_listener || client.listener != m_listenerId) {
        return {SendResult::Status::Failed, EBADF};
    }
    const auto sent = sendto(m_listener->Fd(), datagram.data(), datagram.size(), 0,
                             reinterpret_cast<const sockaddr*>(&client.addr), sizeof client.addr);
    if (sent < 0) {
        return {SendResult::Status::Failed, errno};
    }
    return {};
}

}  // namespace tarnwick
