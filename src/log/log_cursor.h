#pragma once

// The way through the daily log files that the forwarder reads them by: whole entries from a
// position on, day after day. A file the operator removed or cut while its reader was behind is
// reported, and the reader goes on with the next day's file.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_entries.h"
#include "log/log_position.h"
#include "log/time_text.h"

namespace tarnwick {

struct CursorBatch {
    std::string file;  // the entries' file, by name
    std::vector<LogEntry> entries;
};

class LogCursor {
public:
    using Reporter = std::function<void(std::string_view line)>;

    LogCursor(std::string folder, LogPosition start, Reporter report,
              LocalClock clock = SystemLocalTime);

    // At most `most` whole entries after the read position, which moves past them; none when
    // nothing whole has been logged since, or the log is being written this instant.
    [[nodiscard]] CursorBatch Next(std::size_t most);
    // Back to an earlier position: what was read since is read again.
    void Seek(LogPosition position) { m_position = std::move(position); }
    [[nodiscard]] const LogPosition& Position() const { return m_position; }

private:
    [[nodiscard]] std::string PathOf(const std::string& file) const;
    // The file of the first day after the current one that has a file, up to today.
    [[nodiscard]] std::string NextFile() const;
    // Moves to the next file when there is one; false otherwise.
    bool MoveOn(std::string_view why);
    void AtEnd();

    std::string m_folder;
    LogPosition m_position;
    Reporter m_report;
    LocalClock m_clock;
    int m_failed = 0;  // the last read's error, reported when it changes
};

// Today's log file from its start: where a first forwarder begins.
[[nodiscard]] LogPosition StartOfToday(const LocalClock& clock);

// The start of the log file of the day logTime ("YYYY-MM-DD ...") falls on.
[[nodiscard]] LogPosition StartOfDay(std::string_view logTime);

}  // namespace tarnwick
