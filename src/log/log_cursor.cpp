#include "log/log_cursor.h"

#include <cstring>

#include "log/log_tail.h"

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
    if (tail.status == LogTail::Status::Missing) {
        MoveOn("is gone");
        return {};
    }
    if (tail.status == LogTail::Status::Failed && tail.error != m_failed) {
        m_report("forwarding: cannot read " + path + ": " +
                 (tail.error < 0 ? std::string("not a regular file") : std::strerror(tail.error)));
    }
    m_failed = tail.status == LogTail::Status::Failed ? tail.error : 0;
    if (tail.status != LogTail::Status::Read) {
        return {};
    }
    if (tail.size < m_position.offset) {
        if (!MoveOn("was cut below the forwarded position")) {
            m_position.offset = 0;  // still the file being written: what it has now is new
        }
        return {};
    }
    const bool atEnd = tail.AtEnd(m_position.offset);
    ParsedEntries parsed = ParseLogEntries(tail.bytes, m_position.offset, atEnd);
    if (parsed.skipped > 0) {
        m_report("forwarding: passed over what is no whole entry in " + path);
    }
    CursorBatch batch{m_position.file, std::move(parsed.entries)};
    if (batch.entries.size() > most) {
        batch.entries.resize(most);
        m_position.offset = batch.entries.back().end;
    } else {
        m_position.offset += parsed.used;
        if (batch.entries.empty() && atEnd && parsed.used == tail.bytes.size()) {
            AtEnd();
        }
    }
    return batch;
}

// Nothing more in the file: another day's file means this one is finished, unless the log
// stage appended to it between that read and now.
void LogCursor::AtEnd() {
    const std::string next = m_files.After(m_position.file);
    if (!next.empty() && m_files.SizeOf(m_position.file) == m_position.offset) {
        m_position = {next, 0};
    }
}

bool LogCursor::MoveOn(std::string_view why) {
    const std::string next = m_files.After(m_position.file);
    if (next.empty()) {
        return false;  // today's file before today's first record, or the only one there is
    }
    m_report("forwarding: log file " + m_files.PathOf(m_position.file) + " " + std::string(why) +
             "; going on with " + m_files.PathOf(next));
    m_position = {next, 0};
    return true;
}

}  // namespace tarnwick
