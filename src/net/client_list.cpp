#include "net/client_list.h"

namespace tarnwick {

void ClientList::Append(const socket_info& info) {
    std::lock_guard lock(m_mutex);
    m_newest = info;
}

std::optional<socket_info> ClientList::Newest() const {
    std::lock_guard lock(m_mutex);
    return m_newest;
}

}  // namespace tarnwick
