#pragma once

// Reads a log file from an offset up to the size it had under a shared lock taken without
// waiting: the log stage writes each batch in one append under an exclusive lock, so what is
// read here ends with a whole batch. The lock is held for the size alone, never for the read:
// the log stage meets it seldom and briefly.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "log/log_position.h"

namespace tarnwick {

struct LogTail {
    enum class Status { Read, Busy, Missing, Failed };
    Status status = Status::Read;
    std::string bytes;       // Read: from the offset, at most the limit
    std::uint64_t size = 0;  // Read: the file's size under the lock
    int error = 0;           // Failed: errno, or kNotRegularFile (see append_file.h)

    // The bytes run to the file's end, so to a whole batch's end.
    [[nodiscard]] bool AtEnd(std::uint64_t offset) const { return offset + bytes.size() == size; }
};

// A log file held open by its reader: one moved or removed while the reader is behind is still
// read to its end, and another file under its name is told apart by its identity.
class OpenLogFile {
public:
    OpenLogFile() = default;
    OpenLogFile(const OpenLogFile&) = delete;
    OpenLogFile& operator=(const OpenLogFile&) = delete;
    OpenLogFile(OpenLogFile&& other) noexcept;
    OpenLogFile& operator=(OpenLogFile&& other) noexcept;
    ~OpenLogFile() { Close(); }

    // The file at path, or a tail that says why not (Missing, Failed).
    [[nodiscard]] static OpenLogFile Open(const std::string& path, LogTail& failed);

    [[nodiscard]] bool IsOpen() const { return m_fd >= 0; }
    [[nodiscard]] const FileIdentity& Identity() const { return m_identity; }
    [[nodiscard]] LogTail Read(std::uint64_t offset, std::size_t limit) const;
    void Close();

private:
    int m_fd = -1;
    FileIdentity m_identity;
};

[[nodiscard]] LogTail ReadLogTail(const std::string& path, std::uint64_t offset, std::size_t limit);

// The identity of the file at path now; nothing when there is none.
[[nodiscard]] std::optional<FileIdentity> IdentityOf(const std::string& path);

}  // namespace tarnwick
