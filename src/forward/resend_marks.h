#pragma once

// Which of the log's records the forwarder marks as resends: the rule of resend_window.h, run
// once for each entry in log order. The forwarder reads entries again after the broker was
// lost (those not acknowledged) or a publish failed; such an entry keeps the mark it got the
// first time instead of being taken for a resend of itself.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "log/log_position.h"
#include "session/resend_window.h"

namespace tarnwick {

class ResendMarks {
public:
    // Marks kept for entries read again: far more than the forwarder has unacknowledged.
    static constexpr std::size_t kRemembered = 4096;

    explicit ResendMarks(std::chrono::seconds window) : m_window(window) {}

    // The record whose entry ends at `at`, with its device key, text and header time.
    bool Resent(const LogPosition& at, std::string_view key, std::string_view text,
                LogSecond second);

private:
    using Place = std::pair<std::string, std::uint64_t>;  // file, end

    ResendWindow m_window;
    std::map<Place, bool> m_marks;
    std::deque<Place> m_order;  // of m_marks, oldest first
};

}  // namespace tarnwick
