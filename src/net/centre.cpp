#include "net/centre.h"

#include <sys/socket.h>

#include <cerrno>

#include "net/port_text.h"

namespace tarnwick {

Centre::Centre(ReceiveFrontEnd& frontEnd) : m_frontEnd(frontEnd) {}

Centre::~Centre() { Close(); }

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
    m_thread = std::make_unique<ReceiveThread>(ReceiveThreadArgs{
        m_listener->Fd(), m_listenerId, m_frontEnd, m_clients, m_counters, m_sorter});
    return {};
}

void Centre::Close() {
    // The thread goes first: it must never read from, or reply through, a closed socket.
    m_thread.reset();
    m_listener.reset();
}

std::uint16_t Centre::Port() const { return m_listener ? m_listener->Port() : 0; }

int Centre::ReceiveBufferBytes() const { return m_listener ? m_listener->ReceiveBufferBytes() : 0; }

SendResult Centre::SendToClient(const socket_info& client, std::span<const std::uint8_t> datagram) {
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
