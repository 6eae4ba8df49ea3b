#include "forward/publish_window.h"

#include <utility>

namespace tarnwick {

PublishWindow::PublishWindow(LogPosition acknowledged, std::size_t capacity)
    : m_capacity(capacity), m_acknowledged(std::move(acknowledged)), m_saved(m_acknowledged) {}

std::size_t PublishWindow::BatchRoom() const {
    const std::size_t room = Room();
    return !m_messages.empty() && room < m_capacity / 4 ? 0 : room;
}

void PublishWindow::Published(int mid, LogPosition after, bool record) {
    m_bySequence[mid] = m_frontSequence + m_messages.size();
    m_messages.push_back({std::move(after), false, record});
}

std::size_t PublishWindow::PassedOver(LogPosition after, bool record) {
    m_messages.push_back({std::move(after), true, record});
    return MoveAcknowledged();
}

std::size_t PublishWindow::Acked(int mid) {
    const auto found = m_bySequence.find(mid);
    if (found == m_bySequence.end()) {
        return 0;
    }
    m_messages[static_cast<std::size_t>(found->second - m_frontSequence)].acked = true;
    m_bySequence.erase(found);
    return MoveAcknowledged();
}

std::size_t PublishWindow::MoveAcknowledged() {
    std::size_t records = 0;
    for (; m_ackedCount < m_messages.size() && m_messages[m_ackedCount].acked; ++m_ackedCount) {
        m_acknowledged = m_messages[m_ackedCount].after;
        records += m_messages[m_ackedCount].record ? 1U : 0U;
    }
    return records;
}

std::optional<LogPosition> PublishWindow::Unsaved() const {
    return m_acknowledged == m_saved ? std::nullopt : std::optional(m_acknowledged);
}

void PublishWindow::Saved() {
    m_saved = m_acknowledged;
    m_messages.erase(m_messages.begin(),
                     m_messages.begin() + static_cast<std::ptrdiff_t>(m_ackedCount));
    m_frontSequence += m_ackedCount;
    m_ackedCount = 0;
}

const LogPosition& PublishWindow::Rewind() {
    m_frontSequence += m_messages.size();
    m_messages.clear();
    m_bySequence.clear();
    m_ackedCount = 0;
    return m_acknowledged;
}

}  // namespace tarnwick
