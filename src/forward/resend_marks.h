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
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "forward/broker_connection.h"
#include "log/log_position.h"
#include "session/resend_window.h"

namespace tarnwick {

class ResendMarks {
public:
    // Resends remembered for entries read again: twice what the forwarder may have
    // unacknowledged, all of them resends at worst.
    static constexpr std::size_t kRemembered = 2 * static_cast<std::size_t>(kMaxInFlight);
    // Files whose reach is remembered: a window read again spans a day's roll at most.
    static constexpr std::size_t kFilesRemembered = 4;

    explicit ResendMarks(std::chrono::seconds window) : m_window(window) {}

    // Before the first entry is judged: to be taken up with the records that went before it.
    [[nodiscard]] ResendWindow& Window() { return m_window; }

    // The record whose entry ends at `at`, with its device key, text and header time.
    bool Resent(const LogPosition& at, std::string_view key, std::string_view text,
                LogSecond second);

private:
    using Place = std::pair<std::string, std::uint64_t>;  // file, end

    // An entry up to a file's reach was judged before: only the resends among them are kept,
    // so that a window read again costs nothing for the many records that are none.
    void Remember(Place place);

    ResendWindow m_window;
    std::map<std::string, std::uint64_t> m_reach;  // the furthest end judged, by file
    std::deque<std::string> m_files;               // of m_reach, oldest first
    std::set<Place> m_resent;
    std::deque<Place> m_order;  // of m_resent, oldest first
};

}  // namespace tarnwick
