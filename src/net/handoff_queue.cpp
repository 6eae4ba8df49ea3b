#include "net/handoff_queue.h"

#include <iterator>

namespace tarnwick {

HandOffQueue::HandOffQueue(std::function<void()> wake, std::size_t capacity)
    : m_wake(std::move(wake)), m_capacity(capacity) {}

bool HandOffQueue::Push(RecvHandOff&& handOff, std::stop_token stop) {
    bool wasEmpty = false;
    {
        std::unique_lock lock(m_mutex);
        if (!m_spaceFreed.wait(lock, stop, [this] { return m_items.size() < m_capacity; })) {
            return false;
        }
        wasEmpty = m_items.empty();
        m_items.push_back(std::move(handOff));
    }
    if (wasEmpty && m_wake) {
        m_wake();
    }
    return true;
}

void HandOffQueue::DrainInto(std::vector<RecvHandOff>& out) {
    {
        std::lock_guard lock(m_mutex);
        if (out.empty()) {
            out.swap(m_items);  // keeps both buffers' capacity in play: no allocation per batch
        } else {
            out.insert(out.end(), std::make_move_iterator(m_items.begin()),
                       std::make_move_iterator(m_items.end()));
            m_items.clear();
        }
    }
    m_spaceFreed.notify_all();
}

}  // namespace tarnwick
