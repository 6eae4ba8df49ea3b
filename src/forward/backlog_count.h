#pragma once

// How many records the broker has yet to acknowledge, for the operator: counted from the log on
// the disk as it grows, so a long outage costs no memory here either.

#include <cstdint>
#include <string>

#include "log/log_cursor.h"
#include "log/log_position.h"

namespace tarnwick {

class BacklogCount {
public:
    explicit BacklogCount(const std::string& folder);

    // Counting afresh from the acknowledged position: at the first count, and after the
    // forwarder passed over a file that was removed or cut.
    void Restart(const LogPosition& acked);
    [[nodiscard]] bool Started() const { return m_started; }
    // What was logged since the last count.
    void CountNew();
    // Records the broker acknowledged.
    void Acked(std::uint64_t records) { m_acked += records; }
    // Records logged and not yet acknowledged, as of the last count.
    [[nodiscard]] std::uint64_t Behind() const;
    // The header time of the first record counted since the restart; empty before one.
    [[nodiscard]] const std::string& FirstCountedTime() const { return m_firstCounted; }

private:
    LogCursor m_cursor;
    bool m_started = false;
    // Since the restart. Acknowledgements may run ahead of the count between two counts.
    std::uint64_t m_counted = 0;
    std::uint64_t m_acked = 0;
    std::string m_firstCounted;
};

}  // namespace tarnwick
