#include "log/append_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace tarnwick {
namespace {

constexpr auto kLockRetry = std::chrono::milliseconds(2);

// strerror_r comes in two flavours (GNU returns the text, XSI fills the buffer); take either.
[[maybe_unused]] const char* ErrorText(const char* text, const char* /*buffer*/) {
    return text;
}
[[maybe_unused]] const char* ErrorText(int /*status*/, const char* buffer) {
    return buffer;
}

// mkdir -p with mode 0755: every missing level of folder, the existing ones left as they are.
int CreateFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string level = folder.substr(0, slash);
        if (mkdir(level.c_str(), 0755) != 0 && errno != EEXIST) {
            return errno;
        }
        if (slash == std::string::npos) {
            return 0;
        }
    }
}

// O_NONBLOCK: a FIFO in the file's place must not hold us until a reader comes. Without a
// reader (or behind a device file with no device) the open fails with ENXIO, which only ever
// means that something other than a regular file is there.
int OpenOnce(const std::string& path, int& fd) {
    do {
        fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        return 0;
    }
    return errno == ENXIO ? kNotRegularFile : errno;
}

// The folder is only looked at when the file cannot be opened for lack of it: no stat per write.
int OpenForAppend(const std::string& path, int& fd) {
    const int error = OpenOnce(path, fd);
    const std::size_t slash = path.rfind('/');
    if (error != ENOENT || slash == 0 || slash == std::string::npos) {
        return error;
    }
    const int folderError = CreateFolders(path.substr(0, slash));
    return folderError != 0 ? folderError : OpenOnce(path, fd);
}

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (written == 0) {
            return EIO;  // a file that takes nothing would make this loop forever
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// Under the lock: the file's length before, the bytes, and the length again if they did not
// all land, so the file only ever holds whole entries.
int WriteOrUndo(int fd, std::string_view bytes, bool sync) {
    struct stat before {};
    if (fstat(fd, &before) != 0) {
        return errno;
    }
    int error = WriteAll(fd, bytes);
    if (error == 0 && sync && fdatasync(fd) != 0) {
        error = errno;
    }
    if (error != 0) {
        [[maybe_unused]] const int cut = ftruncate(fd, before.st_size);
    }
    return error;
}

int RefuseIfNotRegular(int fd) {
    struct stat file {};
    if (fstat(fd, &file) != 0) {
        return errno;
    }
    return S_ISREG(file.st_mode) ? 0 : kNotRegularFile;
}

}  // namespace

int AppendWhole(const std::string& path, std::string_view bytes, const AppendOptions& options) {
    int fd = -1;
    const int openError = OpenForAppend(path, fd);
    if (openError != 0) {
        return openError;
    }
    int error = RefuseIfNotRegular(fd);
    if (error == 0) {
        error = LockLogFile(fd, path, options.keepWaiting);
    }
    if (error == 0) {
        error = WriteOrUndo(fd, bytes, options.sync);
    }
    // Not retried on EINTR: on Linux the descriptor is gone whatever close returns.
    const int closeError = close(fd) == 0 ? 0 : errno;
    return error != 0 ? error : closeError;
}

int LockLogFile(int fd, const std::string& path, const KeepWaiting& keepWaiting) {
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return 0;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            return errno;
        }
        if (!keepWaiting || !keepWaiting(path)) {
            return kLockNotGranted;
        }
        std::this_thread::sleep_for(kLockRetry);
    }
}

int PrepareFolder(const std::string& folder) {
    if (const int error = CreateFolders(folder); error != 0) {
        return error;
    }
    struct stat found {};
    if (stat(folder.c_str(), &found) != 0) {
        return errno;
    }
    if (!S_ISDIR(found.st_mode)) {
        return ENOTDIR;
    }
    return access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

std::string AppendErrorText(int error) {
    switch (error) {
        case kNotRegularFile:
            return "not a regular file";
        case kLockNotGranted:
            return "locked by another program";
        default: {
            char buffer[256] = {};
            return ErrorText(strerror_r(error, buffer, sizeof buffer), buffer);
        }
    }
}

}  // namespace tarnwick
