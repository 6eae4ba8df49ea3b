#pragma once

// The ordered, bounded queue between the receive thread and its front end. Text and hex
// records travel through the same queue, so neither overtakes the other. When the front end
// falls behind, the receive thread waits here and the socket's own buffer takes the slack.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <stop_token>
#include <vector>

#include "net/recv_hand_off.h"

namespace tarnwick {

class HandOffQueue {
public:
    static constexpr std::size_t kDefaultCapacity = 65536;

    // wake runs (on the pushing thread, outside the lock) when the queue turns non-empty:
    // one wake per batch, however many records follow before the front end drains.
    explicit HandOffQueue(std::function<void()> wake, std::size_t capacity = kDefaultCapacity);

    // Waits while the queue is full; false (the hand-off dropped) when stop is requested first.
    bool Push(RecvHandOff&& handOff, std::stop_token stop);

    // Moves every queued hand-off, in order, to the end of out.
    void DrainInto(std::vector<RecvHandOff>& out);

private:
    std::mutex m_mutex;
    std::condition_variable_any m_spaceFreed;
    std::vector<RecvHandOff> m_items;
    std::function<void()> m_wake;
    std::size_t m_capacity;
};

}  // namespace tarnwick
