#include "net/client_list.h"

#include <arpa/inet.h>

namespace tarnwick {

socket_info MakeSocketInfo(int sock, std::uint64_t listener, const sockaddr_in& from) {
    socket_info info;
    info.sock = sock;
    info.ip = from.sin_addr.s_addr;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    info.ipText = text;
    info.port = ntohs(from.sin_port);
    info.addr = from;
    info.listener = listener;
    return info;
}

void ClientList::Append(socket_info info) {
    std::lock_guard lock(m_mutex);
    m_newest = std::move(info);
}

std::optional<socket_info> ClientList::Newest() const {
    std::lock_guard lock(m_mutex);
    return m_newest;
}

}  // namespace tarnwick
