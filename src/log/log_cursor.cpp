#include "log/log_cursor.h"

#include "log/append_file.h"

namespace tarnwick {
namespace {

// Far more than a batch of entries needs, little enough to hold the log's lock briefly.
constexpr std::size_t kReadLimit = 256 * 1024;

}  // namespace

LogCursor::LogCursor(std::string folder, LogPosition start, Reporter report, LocalClock clock)
    : m_files(std::move(folder), std::move(clock)),
      m_position(std::move(start)),
      m_report(std::move(report)) {}

CursorBatch LogCursor::Next(std::size_t most) {
    const std::string path = m_files.PathOf(m_position.file);
    const LogTail tail = ReadLogTail(path, m_position.offset, kReadLimit);
    if (!Readable(tail, path)) {
        return {};
    }
    if (tail.size < m_position.offset) {
        if (!MoveOn("was cut below the forwarded position")) {
            m_position.offset = 0;  // still the file being written: what it has now is new
        }
        return {};
    }
    return Take(tail, path, most);
}

bool LogCursor::Readable(const LogTail& tail, const std::string& path) {
    if (tail.status == LogTail::Status::Missing) {
        MoveOn("is gone");
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

CursorBatch LogCursor::Take(const LogTail& tail, const std::string& path, std::size_t most) {
    const bool atEnd = tail.AtEnd(m_position.offset);
    ParsedEntries parsed = ParseLogEntries(tail.bytes, m_position.offset, atEnd);
    CursorBatch batch{m_position.file, std::move(parsed.entries)};
    if (batch.entries.size() > most) {
        batch.entries.resize(most);
        m_position.offset = batch.entries.back().end;
    } else {
        m_position.offset += parsed.used;
    }
    const std::string next =
        batch.entries.empty() && atEnd ? NextIfFinished(tail.size) : std::string();
    // What a finished day left after its last whole entry is torn for good.
    const bool leftBehind = !next.empty() && m_position.offset < tail.size;
    NotePassedOver(path, parsed.skipped > 0 || leftBehind, batch.entries.empty());
    if (!next.empty()) {
        MoveTo(next);
    }
    return batch;
}

// Nothing more in the file: another day's file means this one is finished, unless the log
// stage appended to it between that read (which found it `size` long) and now.
std::string LogCursor::NextIfFinished(std::uint64_t size) const {
    std::string next = m_files.After(m_position.file);
    return !next.empty() && m_files.SizeOf(m_position.file) == size ? next : std::string();
}

void LogCursor::NotePassedOver(const std::string& path, bool passedOver, bool tookNothing) {
    if (passedOver && !m_passingOver) {
        m_report("forwarding: passed over what is no whole entry in " + path);
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
    m_failed = 0;
    m_passingOver = false;
}

}  // namespace tarnwick
