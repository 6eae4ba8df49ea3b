#pragma once

// Appends bytes to a log file as one whole: opened, locked, written and closed again, so that
// other programs may read, copy or move the file between appends. Either every byte lands or
// none does: a short write (disk full, quota, file size limit) is cut back off the file.

#include <functional>
#include <string>
#include <string_view>

namespace tarnwick {

// Not errno values: the two ways a log file is refused that the system has no code for.
inline constexpr int kNotRegularFile = -1;  // a FIFO, device or socket in the file's place
inline constexpr int kLockNotGranted = -2;  // another program held the lock until we gave up

// Asked each time the lock is found held by another program; false gives up the append.
using KeepWaiting = std::function<bool(const std::string& path)>;

struct AppendOptions {
    bool sync = false;  // fdatasync before the append counts as done
    KeepWaiting keepWaiting;
};

// 0, an errno value or one of the codes above. A missing folder is created with its parents.
[[nodiscard]] int AppendWhole(const std::string& path, std::string_view bytes,
                              const AppendOptions& options);

// The log's lock on an open log file, exclusive: it keeps a reader (or another writer using the
// same lock) from seeing half an entry. It is never waited for blindly: keepWaiting decides how
// long another program may hold it. 0, an errno value or kLockNotGranted.
[[nodiscard]] int LockLogFile(int fd, const std::string& path, const KeepWaiting& keepWaiting);

// 0 when folder, created with its parents where missing, can take new files; errno otherwise.
[[nodiscard]] int PrepareFolder(const std::string& folder);

// The reason for an AppendWhole error, for the operator.
[[nodiscard]] std::string AppendErrorText(int error);

}  // namespace tarnwick
