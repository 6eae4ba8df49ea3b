#pragma once

// A file that a reader always finds whole: the new contents go to a temporary file beside it,
// reach the disk, and only then take its name in one rename.

#include <functional>
#include <string>
#include <string_view>

namespace tarnwick {

// Writes every byte to fd, again after a signal or a short write: 0, or the write's errno.
[[nodiscard]] int WriteAll(int fd, std::string_view contents);

// Replaces path with what write puts into fd (0, or its errno) through the file temporary
// beside it, flushed before the rename; 0, or the errno of the step that failed (the old file
// then stays as it was, and temporary is gone).
[[nodiscard]] int ReplaceFileThrough(const std::string& path, const std::string& temporary,
                                     const std::function<int(int fd)>& write);

// Replaces path with contents through path + ".tmp", as ReplaceFileThrough does.
[[nodiscard]] int ReplaceFileWhole(const std::string& path, std::string_view contents);

// Makes the names in folder (a file made, moved or removed there) reach the disk; 0 or errno.
[[nodiscard]] int SyncFolder(const std::string& folder);

}  // namespace tarnwick
