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
        Append(stop, [&item](std::vector<T>& items) { items.push_back(std::move(item)); });
    }

    // Push for every item of batch, in order, under one lock: the queue may then hold up to
    // one batch more than its capacity. batch is left empty.
    void PushAll(std::vector<T>& batch, std::stop_token stop) {
        if (batch.empty()) {
            return;
        }
        Append(stop, [&batch](std::vector<T>& items) {
            items.insert(items.end(), std::make_move_iterator(batch.begin()),
                         std::make_move_iterator(batch.end()));
        });
        batch.clear();
    }

    // Moves every queued item, in order, to the end of out.
    void DrainInto(std::vector<T>& out) {
        WaitThenDrain(out, [](auto&, auto) {});
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
    // A pusher waits only while the queue is full and a taker only while it is empty, so only
    // those two turns need waking anyone: no wake-up per item.
    template <typename Add>
    void Append(std::stop_token stop, Add add) {
        bool wasEmpty = false;
        {
            std::unique_lock lock(m_mutex);
            m_spaceFreed.wait(lock, stop, [this] { return m_items.size() < m_capacity; });
            wasEmpty = m_items.empty();
            add(m_items);
        }
        if (wasEmpty) {
            m_itemAdded.notify_all();
            if (m_wake) {
                m_wake();
            }
        }
    }

    template <typename Wait>
    void WaitThenDrain(std::vector<T>& out, Wait wait) {
        bool wasFull = false;
        {
            std::unique_lock lock(m_mutex);
            wait(lock, [this] { return !m_items.empty(); });
            wasFull = TakeAll(out);
        }
        if (wasFull) {
            m_spaceFreed.notify_all();
        }
    }

    // True when the queue was full before: a pusher may be waiting.
    bool TakeAll(std::vector<T>& out) {
        const bool wasFull = m_items.size() >= m_capacity;
        if (out.empty()) {
            out.swap(m_items);  // both buffers keep their capacity: no allocation per batch
        } else {
            out.insert(out.end(), std::make_move_iterator(m_items.begin()),
                       std::make_move_iterator(m_items.end()));
            m_items.clear();
        }
        return wasFull;
    }

    std::mutex m_mutex;
    std::condition_variable_any m_spaceFreed;
    std::condition_variable_any m_itemAdded;
    std::vector<T> m_items;
    std::function<void()> m_wake;
    std::size_t m_capacity;
};

}  // namespace tarnwick
