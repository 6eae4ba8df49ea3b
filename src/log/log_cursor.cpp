#include "log/log_cursor.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "log/append_file.h"

namespace tarnwick {
namespace {

// Far more than a batch of entries needs, little enough to hold the log's lock briefly.
constexpr std::size_t kReadLimit = 256 * 1024;

}  // namespace

LogPosition PositionAfter(const CursorBatch& batch, const LogEntry& entry) {
    return {batch.file, entry.end, batch.identity, entry.start, entry.time};
}

LogCursor::LogCursor(std::string folder, LogPosition start, Reporter report, LocalClock clock)
    : m_files(std::move(folder), std::move(clock)),
      m_position(std::move(start)),
      m_report(std::move(report)) {}

void LogCursor::Seek(LogPosition position) {
    if (!position.identity.Known() || position.identity != m_file.Identity()) {
        m_file.Close();
    }
    m_position = std::move(position);
    m_pending.clear();
    m_pendingAt = 0;
}

CursorBatch LogCursor::Next(std::size_t most) {
    if (m_pendingAt < m_pending.size()) {
        return TakePending(most);
    }
    if (!m_file.IsOpen() && !Open()) {
        return {};
    }
    // With the entry the position names, read from its start: it must still be there.
    const std::uint64_t from =
        m_position.entryTime.empty() ? m_position.offset : m_position.entryAt;
    const LogTail tail = m_file.Read(from, kReadLimit);
    if (!Readable(tail, m_path)) {
        return {};
    }
    if (tail.size < m_position.offset) {
        Cut(tail.size);
        return {};
    }
    m_knownSize = tail.size;
    Parse(tail, from);
    return TakePending(most);
}

void LogCursor::Parse(const LogTail& tail, std::uint64_t from) {
    const bool atEnd = tail.AtEnd(from);
    ParsedEntries parsed = ParseLogEntries(tail.bytes, from, atEnd);
    if (!m_position.entryTime.empty()) {
        const Check check = Checked(parsed);
        if (check != Check::Same) {
            if (check == Check::Changed) {
                m_report("forwarding: log file " + m_path +
                         " changed at the forwarded position (byte " +
                         std::to_string(m_position.offset) + "); reading it again from its start");
                m_position = {m_position.file, 0, m_position.identity};
            }
            return;
        }
        parsed.entries.erase(parsed.entries.begin());
    }
    m_pending = std::move(parsed.entries);
    m_pendingAt = 0;
    m_pendingEnd = from + parsed.used;
    const bool tookNothing = m_pending.empty();
    if (tookNothing && m_pendingEnd > m_position.offset) {
        m_position = {m_position.file, m_pendingEnd, m_position.identity};  // passed over
    }
    NotePassedOver(parsed.skipped > 0, tookNothing);
    if (tookNothing && atEnd) {
        AtEnd(tail.size);
    }
}

// The first entry parsed from the checked entry's start must be that entry.
LogCursor::Check LogCursor::Checked(const ParsedEntries& parsed) const {
    if (parsed.entries.empty()) {
        return parsed.used == 0 ? Check::Undecided : Check::Changed;
    }
    const LogEntry& first = parsed.entries.front();
    return first.start == m_position.entryAt && first.end == m_position.offset &&
                   first.time == m_position.entryTime
               ? Check::Same
               : Check::Changed;
}

CursorBatch LogCursor::TakePending(std::size_t most) {
    CursorBatch batch{m_position.file, m_file.Identity(), {}};
    const std::size_t count = std::min(most, m_pending.size() - m_pendingAt);
    if (count == 0) {
        return batch;
    }
    const auto first = m_pending.begin() + static_cast<std::ptrdiff_t>(m_pendingAt);
    batch.entries.assign(std::make_move_iterator(first),
                         std::make_move_iterator(first + static_cast<std::ptrdiff_t>(count)));
    m_pendingAt += count;
    m_position = PositionAfter(batch, batch.entries.back());
    if (m_pendingAt == m_pending.size()) {
        m_pending.clear();
        m_pendingAt = 0;
        if (m_pendingEnd > m_position.offset) {
            m_position = {m_position.file, m_pendingEnd, m_position.identity};  // passed over
        }
    }
    return batch;
}

bool LogCursor::Open() {
    const std::string path = m_files.PathOf(m_position.file);
    LogTail failed;
    OpenLogFile file = OpenLogFile::Open(path, failed);
    const FileIdentity wanted = m_position.identity;
    if (wanted.Known() && !(file.IsOpen() && file.Identity() == wanted)) {
        if (OpenMoved(path)) {
            return true;
        }
        const std::string why = "is gone before it was forwarded (" + LostAfter() + ")";
        m_position = {m_position.file, 0};  // what is under its name now is another file
        if (!file.IsOpen()) {
            if (!MoveOn(why)) {
                m_report("forwarding: log file " + path + " " + why);
            }
            return false;
        }
        m_report("forwarding: log file " + path + " " + why +
                 "; reading the new file under its name from its start");
    }
    if (!file.IsOpen()) {
        return Readable(failed, path);
    }
    Adopt(std::move(file), path);
    return true;
}

// Where the day files are found, a file with the position's identity: the one it names, moved.
bool LogCursor::OpenMoved(const std::string& path) {
    for (const std::string& found : m_files.Paths()) {
        if (found == path || IdentityOf(found) != m_position.identity) {
            continue;
        }
        LogTail failed;
        OpenLogFile file = OpenLogFile::Open(found, failed);
        if (file.IsOpen() && file.Identity() == m_position.identity) {
            m_report("forwarding: log file " + path + " was moved to " + found +
                     " before it was forwarded; read there, nothing lost");
            Adopt(std::move(file), found);
            return true;
        }
    }
    return false;
}

void LogCursor::Adopt(OpenLogFile file, const std::string& path) {
    m_file = std::move(file);
    m_path = path;
    m_position.identity = m_file.Identity();
    m_knownSize.reset();
}

bool LogCursor::Readable(const LogTail& tail, const std::string& path) {
    if (tail.status == LogTail::Status::Missing) {
        const std::string lost = m_position.offset > 0 ? " (" + LostAfter() + ")" : std::string();
        MoveOn("is gone" + lost);
        return false;
    }
    const int error = tail.status == LogTail::Status::Failed ? tail.error : 0;
    // A FIFO or a folder in a day's place: that day's entries are gone, as if it were removed.
    if (error == kNotRegularFile && MoveOn("is not a regular file")) {
        return false;
    }
    if (error != 0 && error != m_failed) {
        m_report("forwarding: cannot read " + path + ": " + AppendErrorText(error));
    }
    m_failed = error;
    return tail.status == LogTail::Status::Read;
}

// Cut below the read position: what was there after it and not yet read is lost.
void LogCursor::Cut(std::uint64_t size) {
    const std::string why = "was cut to " + std::to_string(size) +
                            " bytes, below the forwarded position (" + LostAfter() + ")";
    if (!MoveOn(why)) {
        // Still the file being written: what it has now is new.
        m_report("forwarding: log file " + m_path + " " + why +
                 "; reading it again from its start");
        m_position = {m_position.file, 0, m_position.identity};
        m_knownSize = size;
    }
}

// Nothing more in the file. Another file under its name is read next, from its start; another
// day's file means this one is finished, unless the log stage appended to it between that read
// (which found it `size` long) and now.
void LogCursor::AtEnd(std::uint64_t size) {
    const std::optional<FileIdentity> named = IdentityOf(m_files.PathOf(m_position.file));
    if (named && *named != m_file.Identity()) {
        m_report("forwarding: log file " + m_path +
                 " was replaced before it was forwarded; read to its end, nothing lost; reading "
                 "the new file under its name from its start");
        MoveTo(m_position.file);
        return;
    }
    const std::string next = m_files.After(m_position.file);
    if (next.empty()) {
        return;
    }
    const LogTail again = m_file.Read(size, 0);
    if (again.status != LogTail::Status::Read || again.size != size) {
        return;
    }
    if (!named) {
        m_report("forwarding: log file " + m_path +
                 " was moved or removed before it was forwarded; read to its end, nothing lost");
    }
    // What a finished day left after its last whole entry is torn for good.
    NotePassedOver(m_position.offset < size, true);
    MoveTo(next);
}

void LogCursor::NotePassedOver(bool passedOver, bool tookNothing) {
    if (passedOver && !m_passingOver) {
        m_report("forwarding: passed over what is no whole entry in " + m_path);
    }
    m_passingOver = passedOver && tookNothing;
}

bool LogCursor::MoveOn(std::string_view why) {
    const std::string next = m_files.After(m_position.file);
    if (next.empty()) {
        return false;  // today's file before today's first record, or the only one there is
    }
    m_report("forwarding: log file " + m_files.PathOf(m_position.file) + " " + std::string(why) +
             "; going on with " + m_files.PathOf(next));
    MoveTo(next);
    return true;
}

void LogCursor::MoveTo(const std::string& file) {
    m_position = {file, 0};
    m_file.Close();
    m_pending.clear();
    m_pendingAt = 0;
    m_knownSize.reset();
    m_failed = 0;
    m_passingOver = false;
}

// What of the position's file was lost, as far as it was seen.
std::string LogCursor::LostAfter() const {
    const std::string at = "byte " + std::to_string(m_position.offset);
    if (!m_knownSize) {
        return "whatever followed " + at + " is lost";
    }
    return *m_knownSize > m_position.offset
               ? std::to_string(*m_knownSize - m_position.offset) + " bytes after " + at +
                     " not yet forwarded are lost"
               : "nothing not yet forwarded was lost";
}

}  // namespace tarnwick
