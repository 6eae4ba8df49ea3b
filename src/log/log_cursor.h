#pragma once

// The way through the daily log files that the forwarder reads them by: whole entries from a
// position on, day after day. The file being read is held open and known by its identity, so
// one moved or removed while its reader is behind is still read to its end, followed where the
// day files are found when it was moved before it was opened, and another file under its name
// is read from its start. A file removed, cut or changed under its reader is reported with what
// was lost, if anything was, and so is a place that something other than a file took; what is
// no whole entry is passed over, and that is reported.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
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
    FileIdentity identity;
    std::vector<LogEntry> entries;
};

// The position just past entry, one of batch's.
[[nodiscard]] LogPosition PositionAfter(const CursorBatch& batch, const LogEntry& entry);

class LogCursor {
public:
    using Reporter = std::function<void(std::string_view line)>;

    LogCursor(std::string folder, LogPosition start, Reporter report,
              LocalClock clock = SystemLocalTime);

    // At most `most` whole entries after the read position, which moves past them; none when
    // nothing whole has been logged since, or the log is being written this instant.
    [[nodiscard]] CursorBatch Next(std::size_t most);
    // Back to an earlier position: what was read since is read again.
    void Seek(LogPosition position);
    [[nodiscard]] const LogPosition& Position() const { return m_position; }

private:
    enum class Check { Same, Changed, Undecided };

    CursorBatch TakePending(std::size_t most);
    // The position's file, held open; false when there is none to read now.
    bool Open();
    bool OpenMoved(const std::string& path);
    void Adopt(OpenLogFile file, const std::string& path);
    // Whether tail holds bytes to take; otherwise says why, once, or moves on from a file
    // that is gone.
    bool Readable(const LogTail& tail, const std::string& path);
    void Parse(const LogTail& tail, std::uint64_t from);
    // Parsed from the start of the entry the position names: whether that entry is first.
    [[nodiscard]] Check Checked(const ParsedEntries& parsed) const;
    void Cut(std::uint64_t size);
    void AtEnd(std::uint64_t size);
    // Said once for a stretch that is no log, however many reads it takes to pass over.
    void NotePassedOver(bool passedOver, bool tookNothing);
    // Moves to the next file when there is one; false otherwise.
    bool MoveOn(std::string_view why);
    void MoveTo(const std::string& file);
    [[nodiscard]] std::string LostAfter() const;

    DayFiles m_files;
    LogPosition m_position;
    Reporter m_report;
    OpenLogFile m_file;                        // the position's, once opened
    std::string m_path;                        // where it was opened
    std::optional<std::uint64_t> m_knownSize;  // its size at the last read
    std::vector<LogEntry> m_pending;           // parsed after the position, not yet taken
    std::size_t m_pendingAt = 0;
    std::uint64_t m_pendingEnd = 0;  // the offset the parse used up to
    int m_failed = 0;                // the last read's error, reported when it changes
    bool m_passingOver = false;      // the last read took nothing and passed over what is no log
};

}  // namespace tarnwick
