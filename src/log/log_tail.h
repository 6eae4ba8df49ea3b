#pragma once

// Reads a log file from an offset up to the size it had under a shared lock taken without
// waiting: the log stage writes each batch in one append under an exclusive lock, so what is
// read here ends with a whole batch. The lock is held for the size alone, never for the read:
// the log stage meets it seldom and briefly.

#include <cstddef>
#include <cstdint>
#include <string>

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

[[nodiscard]] LogTail ReadLogTail(const std::string& path, std::uint64_t offset, std::size_t limit);

}  // namespace tarnwick
