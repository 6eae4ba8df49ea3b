#include "log/log_tail.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "log/append_file.h"

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

// The size under the lock: everything before it is whole batches, which appends never change.
LogTail SizeLocked(int fd) {
    if (flock(fd, LOCK_SH | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK || errno == EINTR ? Busy() : Failed(errno);
    }
    struct stat file {};
    const int error = fstat(fd, &file) == 0 ? 0 : errno;
    flock(fd, LOCK_UN);
    if (error != 0) {
        return Failed(error);
    }
    if (!S_ISREG(file.st_mode)) {
        return Failed(kNotRegularFile);
    }
    LogTail tail;
    tail.size = static_cast<std::uint64_t>(file.st_size);
    return tail;
}

// The bytes from offset up to limit, and not past the size taken under the lock. A file cut
// meanwhile reads short: busy, and the next read sees the cut.
LogTail ReadUpToSize(int fd, LogTail tail, std::uint64_t offset, std::size_t limit) {
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
            return n == 0 ? Busy() : Failed(errno);
        }
        got += static_cast<std::size_t>(n);
    }
    return tail;
}

FileIdentity IdentityOfStat(const struct stat& file) {
    return {static_cast<std::uint64_t>(file.st_dev), static_cast<std::uint64_t>(file.st_ino)};
}

}  // namespace

OpenLogFile::OpenLogFile(OpenLogFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_identity(other.m_identity) {}

OpenLogFile& OpenLogFile::operator=(OpenLogFile&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_identity = other.m_identity;
    }
    return *this;
}

void OpenLogFile::Close() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

OpenLogFile OpenLogFile::Open(const std::string& path, LogTail& failed) {
    OpenLogFile file;
    // O_NONBLOCK: a FIFO in the file's place must not hold the forwarder.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        failed = Failed(errno);
        return file;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        failed = Failed(S_ISREG(status.st_mode) ? errno : kNotRegularFile);
        close(fd);
        return file;
    }
    file.m_fd = fd;
    file.m_identity = IdentityOfStat(status);
    return file;
}

LogTail OpenLogFile::Read(std::uint64_t offset, std::size_t limit) const {
    LogTail tail = SizeLocked(m_fd);
    return tail.status == LogTail::Status::Read ? ReadUpToSize(m_fd, std::move(tail), offset, limit)
                                                : tail;
}

LogTail ReadLogTail(const std::string& path, std::uint64_t offset, std::size_t limit) {
    LogTail failed;
    const OpenLogFile file = OpenLogFile::Open(path, failed);
    return file.IsOpen() ? file.Read(offset, limit) : failed;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return IdentityOfStat(status);
}

}  // namespace tarnwick
