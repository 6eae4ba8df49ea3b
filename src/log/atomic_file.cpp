#include "log/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace tarnwick {

int WriteAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t n = write(fd, contents.data(), contents.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : EIO;  // a file that takes nothing would make this loop forever
        }
        contents.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

int ReplaceFileThrough(const std::string& path, const std::string& temporary,
                       const std::function<int(int fd)>& write) {
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno;
    }
    int error = write(fd);
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
    }
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary.c_str());
    }
    return error;
}

int ReplaceFileWhole(const std::string& path, std::string_view contents) {
    return ReplaceFileThrough(path, path + ".tmp",
                              [contents](int fd) { return WriteAll(fd, contents); });
}

int SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int error = fsync(fd) == 0 ? 0 : errno;
    close(fd);
    return error;
}

}  // namespace tarnwick
