#pragma once

// The way through the daily log files that the forwarder reads them by: whole entries from a
// position on, day after day. A file the operator removed or cut while its reader was behind,
// or one that something other than a file took the place of, is reported, and the reader goes
// on with the next day's file; what is no whole entry is passed over, and that is reported.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "log/day_files.h"
#include "log/log_entries.h"
#include "log/log_position.h"
#include "log/log_tail.h"
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
    // Whether tail holds bytes to take; otherwise says why, once, or moves on from a file
    // that is gone.
    bool Readable(const LogTail& tail, const std::string& path);
    CursorBatch Take(const LogTail& tail, const std::string& path, std::size_t most);
    // The file to go on with when the current one is finished; empty otherwise.
    [[nodiscard]] std::string NextIfFinished(std::uint64_t size) const;
    // Said once for a stretch that is no log, however many reads it takes to pass over.
    void NotePassedOver(const std::string& path, bool passedOver, bool tookNothing);
    // Moves to the next file when there is one; false otherwise.
    bool MoveOn(std::string_view why);
    void MoveTo(const std::string& file);

    DayFiles m_files;
    LogPosition m_position;
    Reporter m_report;
    int m_failed = 0;            // the last read's error, reported when it changes
    bool m_passingOver = false;  // the last read took nothing and passed over what is no log
};

}  // namespace tarnwick
