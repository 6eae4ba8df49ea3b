#pragma once

// A place in the daily log: a log file, by name and by identity, a byte offset into it, and the
// entry that ends there, by which the file is known again however it was moved, cut or edited.

#include <cstdint>
#include <string>

namespace tarnwick {

// The file's device and inode: what stays the same when it is moved, and changes when another
// file takes its name. Unknown (0, 0) in positions saved before identities were.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    [[nodiscard]] bool Known() const { return inode != 0; }
    bool operator==(const FileIdentity&) const = default;
};

struct LogPosition {
    std::string file;  // "Data_logs_MMDD.txt"
    std::uint64_t offset = 0;
    FileIdentity identity{};
    // The entry that ends at offset: where its header begins and the time it has. No time: not
    // known, nothing to check.
    std::uint64_t entryAt = 0;
    std::string entryTime{};
    bool operator==(const LogPosition&) const = default;
};

}  // namespace tarnwick
