#include "net/centre.h"

#include <sys/socket.h>

#include <cerrno>
#include <new>
#include <system_error>

#include "net/port_text.h"

namespace tarnwick {

Centre::Centre(ReceiveFrontEnd& frontEnd) : m_frontEnd(frontEnd) {}

Centre::~Centre() {
    Close();
}

ListenResult Centre::Listen(std::string_view portText) {
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
        m_thread = std::make_unique<ReceiveThread>(ReceiveThreadArgs{
            m_listener->Fd(), m_listenerId, m_frontEnd, m_clients, m_counters, m_sorter});
    } catch (const std::system_error& error) {
        return NotStarted(error.code().value());
    } catch (const std::bad_alloc&) {
        return NotStarted(ENOMEM);
    }
    return {};
}

ListenResult Centre::NotStarted(int errorCode) {
    // A socket without its thread would look open and receive nothing.
    m_listener.reset();
    return {ListenError::ThreadStart, errorCode};
}

void Centre::Close() {
    // The thread goes first: it must never read from, or reply through, a closed socket.
    m_thread.reset();
    m_listener.reset();
}

std::uint16_t Centre::Port() const {
    return m_listener ? m_listener->Port() : 0;
}

int Centre::ReceiveBufferBytes() const {
    return m_listener ? m_listener->ReceiveBufferBytes() : 0;
}

SendResult Centre::SendToNewestClient(std::span<const std::uint8_t> datagram) {
    const auto client = m_clients.Newest();
    if (!client) {
        return {SendResult::Status::NoClient, 0};
    }
    if (!m_listener || client->listener != m_listenerId) {
        return {SendResult::Status::Failed, EBADF};
    }
    const auto sent = sendto(m_listener->Fd(), datagram.data(), datagram.size(), 0,
                             reinterpret_cast<const sockaddr*>(&client->addr), sizeof client->addr);
    if (sent < 0) {
        return {SendResult::Status::Failed, errno};
    }
    return {};
}

}  // namespace tarnwick
