#pragma once

// The log entries published and not yet saved as acknowledged, in log order. The broker may
// acknowledge them in any order; the acknowledged position moves over the acknowledged ones at
// the front only, so every entry before it is the broker's, and a lost connection goes back to
// it and sends the rest again. The window is bounded: what a kill would send again.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <unordered_map>

#include "forward/forward_position.h"

namespace tarnwick {

class PublishWindow {
public:
    PublishWindow(LogPosition acknowledged, std::size_t capacity);

    // How many more entries may go out now: none while the window is more than three quarters
    // full, so that the log is read in batches of a quarter of it at least (each read takes
    // the log's lock, which the log stage must meet seldom).
    [[nodiscard]] std::size_t BatchRoom() const;
    // How many more entries may go out at all.
    [[nodiscard]] std::size_t Room() const { return m_capacity - m_messages.size(); }
    [[nodiscard]] std::size_t Capacity() const { return m_capacity; }
    // Published and not yet acknowledged.
    [[nodiscard]] std::size_t InFlight() const { return m_bySequence.size(); }
    // Acknowledged and not yet saved.
    [[nodiscard]] std::size_t AckedCount() const { return m_ackedCount; }

    // An entry that ends at after went out as message mid; record: not a hex entry.
    void Published(int mid, LogPosition after, bool record);
    // An entry passed over as if the broker had it (before a replay's time). Returns how many
    // records the acknowledged position moved over.
    std::size_t PassedOver(LogPosition after, bool record);
    // The broker acknowledged message mid. Returns how many records the acknowledged position
    // moved over: none while an earlier message waits.
    std::size_t Acked(int mid);

    [[nodiscard]] const LogPosition& Acknowledged() const { return m_acknowledged; }
    // The acknowledged position when it moved since it was last saved.
    [[nodiscard]] std::optional<LogPosition> Unsaved() const;
    // The acknowledged position is saved: its messages leave the window.
    void Saved();
    // The connection went with what it had in flight: nothing is out any more, and the entries
    // from the acknowledged position on (returned) go out again.
    [[nodiscard]] const LogPosition& Rewind();

private:
    struct Message {
        LogPosition after;  // the position once this message is acknowledged
        bool acked = false;
        bool record = false;
    };

    std::size_t MoveAcknowledged();

    std::size_t m_capacity;
    std::deque<Message> m_messages;
    std::uint64_t m_frontSequence = 0;  // of m_messages' first, counted from the start
    std::unordered_map<int, std::uint64_t> m_bySequence;  // mid: sequence, while in flight
    std::size_t m_ackedCount = 0;                         // of those at its front, acknowledged
    LogPosition m_acknowledged;
    LogPosition m_saved;
};

}  // namespace tarnwick
