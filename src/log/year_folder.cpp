#include "log/year_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "log/atomic_file.h"
#include "log/day_files.h"

namespace tarnwick {
namespace {

constexpr std::size_t kYearDigits = 4;

// O_NOFOLLOW and O_NONBLOCK: a symlink, FIFO or device in a day's place is not ours to move.
int OpenRegular(const std::string& path, int& fd) {
    fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == ELOOP || errno == ENXIO ? kNotRegularFile : errno;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        return errno;
    }
    return S_ISREG(status.st_mode) ? 0 : kNotRegularFile;
}

// The folder is made and on the disk before the file moves in: a crash then leaves an empty
// year folder at worst.
YearMove MoveInto(const std::string& path, int year) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string yearFolder = folder + "/" + YearFolderName(year);
    const std::string to = yearFolder + "/" + path.substr(slash + 1);
    if (mkdir(yearFolder.c_str(), 0755) != 0 && errno != EEXIST) {
        return {errno, {}};
    }
    if (const int error = SyncFolder(folder); error != 0) {
        return {error, {}};
    }
    if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        return {errno, {}};
    }
    const int error = SyncFolder(yearFolder);
    return {error != 0 ? error : SyncFolder(folder), to};
}

}  // namespace

std::optional<int> HeaderYear(std::string_view text, std::string_view yearAfter) {
    if (text.size() < yearAfter.size() + kYearDigits || !text.starts_with(yearAfter)) {
        return std::nullopt;
    }
    int year = 0;
    for (const char c : text.substr(yearAfter.size(), kYearDigits)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        year = year * 10 + (c - '0');
    }
    return year;
}

std::optional<int> EntriesYear(int fd, std::string_view yearAfter) {
    std::string start(yearAfter.size() + kYearDigits, '\0');
    const ssize_t got = pread(fd, start.data(), start.size(), 0);
    start.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return HeaderYear(start, yearAfter);
}

YearMove SetAsideEarlierYear(const std::string& path, int year, const KeepWaiting& keepWaiting,
                             std::string_view yearAfter) {
    int fd = -1;
    int error = OpenRegular(path, fd);
    if (error == 0) {
        error = LockLogFile(fd, path, keepWaiting);
    }
    YearMove move{error == ENOENT ? 0 : error, {}};
    if (error == 0) {
        const auto entries = EntriesYear(fd, yearAfter);
        if (entries && *entries < year) {
            move = MoveInto(path, *entries);
        }
    }
    if (fd >= 0) {
        close(fd);  // after the move: the lock covered it
    }
    return move;
}

}  // namespace tarnwick
