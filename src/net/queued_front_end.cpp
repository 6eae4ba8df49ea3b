#include "net/queued_front_end.h"

namespace tarnwick {

QueuedFrontEnd::QueuedFrontEnd(std::function<void()> wake, std::size_t capacity)
    : m_queue(std::move(wake), capacity) {}

bool QueuedFrontEnd::AutoReplyTicked() const { return m_autoReply.load(std::memory_order_relaxed); }

bool QueuedFrontEnd::DisplayHexTicked() const {
    return m_displayHex.load(std::memory_order_relaxed);
}

bool QueuedFrontEnd::InsertHexRecord(RecvHandOff hex, std::stop_token stop) {
    return m_queue.Push(std::move(hex), std::move(stop));
}

bool QueuedFrontEnd::PostTextRecord(RecvHandOff text, std::stop_token stop) {
    return m_queue.Push(std::move(text), std::move(stop));
}

}  // namespace tarnwick
