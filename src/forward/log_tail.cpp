#include "forward/log_tail.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tarnwick {
namespace {

LogTail Failed(int error) {
    LogTail tail;
    tail.status = error == ENOENT ? LogTail::Status::Missing : LogTail::Status::Failed;
    tail.error = error;
    return tail;
}

LogTail Busy() {
    LogTail tail;
    tail.status = LogTail::Status::Busy;
    return tail;
}

// Under the lock: the size, and the bytes from offset up to limit.
LogTail ReadLocked(int fd, std::uint64_t offset, std::size_t limit) {
    struct stat file {};
    if (fstat(fd, &file) != 0) {
        return Failed(errno);
    }
    if (!S_ISREG(file.st_mode)) {
        return Failed(-1);
    }
    LogTail tail;
    tail.size = static_cast<std::uint64_t>(file.st_size);
    if (tail.size <= offset) {
        return tail;
    }
    tail.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(limit, tail.size - offset)));
    std::size_t got = 0;
    while (got < tail.bytes.size()) {
        const ssize_t n = pread(fd, tail.bytes.data() + got, tail.bytes.size() - got,
                                static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0 ? Failed(EIO) : Failed(errno);
        }
        got += static_cast<std::size_t>(n);
    }
    return tail;
}

}  // namespace

LogTail ReadLogTail(const std::string& path, std::uint64_t offset, std::size_t limit) {
    // O_NONBLOCK: a FIFO in the file's place must not hold the forwarder.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return Failed(errno);
    }
    LogTail tail;
    if (flock(fd, LOCK_SH | LOCK_NB) != 0) {
        tail = errno == EWOULDBLOCK || errno == EINTR ? Busy() : Failed(errno);
    } else {
        tail = ReadLocked(fd, offset, limit);
    }
    close(fd);  // and with it the lock
    return tail;
}

}  // namespace tarnwick
