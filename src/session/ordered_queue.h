#pragma once

// The ordered, bounded queue between two threads of the centre. What one thread pushes, the
// other takes in the same order, in batches. When the taker falls behind, the pusher waits
// here, so memory stays bounded; once a stop is requested nothing waits and nothing is turned
// away, so a stop never loses what was already taken in.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <iterator>
#include <mutex>
#include <stop_token>
#include <vector>

namespace tarnwick {

template <typename T>
class OrderedQueue {
public:
    static constexpr std::size_t kDefaultCapacity = 65536;

    // wake runs (on the pushing thread, outside the lock) when the queue turns non-empty:
    // one wake per batch, however many items follow before the taker drains.
    explicit OrderedQueue(std::function<void()> wake = {}, std::size_t capacity = kDefaultCapacity)
        : m_wake(std::move(wake)), m_capacity(capacity) {}

    // Waits while the queue is full, unless stop is (or becomes) requested.
    void Push(T&& item, std::stop_token stop) {
        bool wasEmpty = false;
        {
            std::unique_lock lock(m_mutex);
            m_spaceFreed.wait(lock, stop, [this] { return m_items.size() < m_capacity; });
            wasEmpty = m_items.empty();
            m_items.push_back(std::move(item));
            m_itemAdded.notify_all();
        }
        if (wasEmpty && m_wake) {
            m_wake();
        }
    }

    // Moves every queued item, in order, to the end of out.
    void DrainInto(std::vector<T>& out) {
        {
            std::lock_guard lock(m_mutex);
            TakeAll(out);
        }
        m_spaceFreed.notify_all();
    }

    // DrainInto, after waiting until there is something to take or stop is requested.
    void WaitAndDrainInto(std::vector<T>& out, std::stop_token stop) {
        WaitThenDrain(out, [&](auto& lock, auto ready) { m_itemAdded.wait(lock, stop, ready); });
    }

    // The same, but the wait also ends at until: out may stay empty.
    void WaitAndDrainInto(std::vector<T>& out, std::stop_token stop,
                          std::chrono::steady_clock::time_point until) {
        WaitThenDrain(
            out, [&](auto& lock, auto ready) { m_itemAdded.wait_until(lock, stop, until, ready); });
    }

private:
    template <typename Wait>
    void WaitThenDrain(std::vector<T>& out, Wait wait) {
        {
            std::unique_lock lock(m_mutex);
            wait(lock, [this] { return !m_items.empty(); });
            TakeAll(out);
        }
        m_spaceFreed.notify_all();
    }

    void TakeAll(std::vector<T>& out) {
        if (out.empty()) {
            out.swap(m_items);  // both buffers keep their capacity: no allocation per batch
        } else {
            out.insert(out.end(), std::make_move_iterator(m_items.begin()),
                       std::make_move_iterator(m_items.end()));
            m_items.clear();
        }
    }

    std::mutex m_mutex;
    std::condition_variable_any m_spaceFreed;
    std::condition_variable_any m_itemAdded;
    std::vector<T> m_items;
    std::function<void()> m_wake;
    std::size_t m_capacity;
};

}  // namespace tarnwick
