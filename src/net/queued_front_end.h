#pragma once

// The front end both the window and the headless mode use: check-box states kept as atomic
// copies (the receive thread never waits on the front end's thread to read them) and every
// hand-off moved into one ordered queue that the front end's thread drains in batches.

#include <atomic>
#include <functional>
#include <vector>

#include "net/handoff_queue.h"
#include "net/receive_front_end.h"

namespace tarnwick {

class QueuedFrontEnd final : public ReceiveFrontEnd {
public:
    explicit QueuedFrontEnd(std::function<void()> wake,
                            std::size_t capacity = HandOffQueue::kDefaultCapacity);

    void SetAutoReply(bool ticked) { m_autoReply.store(ticked, std::memory_order_relaxed); }
    void SetDisplayHex(bool ticked) { m_displayHex.store(ticked, std::memory_order_relaxed); }

    [[nodiscard]] bool AutoReplyTicked() const override;
    [[nodiscard]] bool DisplayHexTicked() const override;
    bool InsertHexRecord(RecvHandOff hex, std::stop_token stop) override;
    bool PostTextRecord(RecvHandOff text, std::stop_token stop) override;

    // On the front end's thread: everything handed over so far, in arrival order.
    void DrainInto(std::vector<RecvHandOff>& out) { m_queue.DrainInto(out); }

private:
    std::atomic<bool> m_autoReply{false};
    std::atomic<bool> m_displayHex{false};
    HandOffQueue m_queue;
};

}  // namespace tarnwick
