#include "log/daily_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tarnwick {

namespace {

constexpr std::size_t kMonthDayLength = 4;

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

int OpenOnce(const std::string& path, int& fd) {
    do {
        fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? errno : 0;
}

// The folder is only looked at when the file cannot be opened for lack of it: no stat per record.
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

// The lock keeps a reader (or another writer using the same lock) from seeing half an entry.
int WriteLocked(int fd, std::string_view entry) {
    int locked;
    do {
        locked = flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    return locked != 0 ? errno : WriteAll(fd, entry);
}

// The file is opened and closed for every entry so that it can be moved, deleted or read by
// others between records.
int AppendEntry(const std::string& path, std::string_view entry) {
    int fd = -1;
    const int openError = OpenForAppend(path, fd);
    if (openError != 0) {
        return openError;
    }
    const int writeError = WriteLocked(fd, entry);
    // Not retried on EINTR: on Linux the descriptor is gone whatever close returns.
    const int closeError = close(fd) == 0 ? 0 : errno;
    return writeError != 0 ? writeError : closeError;
}

}  // namespace

std::string LogWriteResult::Reason() const {
    char buffer[256] = {};
    return ErrorText(strerror_r(error, buffer, sizeof buffer), buffer);
}

std::string LogFileName(const LocalTime& t) {
    return "Data_logs_" + MonthDayText(t) + ".txt";
}

DailyLog::DailyLog(std::string logFile, LocalClock clock)
    : m_strLogFile(std::move(logFile)), m_clock(std::move(clock)) {}

LogWriteResult DailyLog::Append(std::string_view text) {
    const LocalTime now = m_clock();  // one reading: the file's day and the header always agree
    RollLogFileName(now);
    m_entry.clear();
    AppendLogHeaderText(m_entry, now);
    m_entry += "\r\n";
    m_entry += text;
    m_entry += "\r\n";
    return {m_strLogFile, AppendEntry(m_strLogFile, m_entry)};
}

// The name follows the day of handling, not whether yesterday's file still exists: the first
// record after midnight must start the new day's file. Only the four digits before the extension
// change, and only when they lie in the file name, so the folder is never touched.
void DailyLog::RollLogFileName(const LocalTime& now) {
    const std::size_t dot = m_strLogFile.rfind('.');
    if (dot == std::string::npos || dot < kMonthDayLength) {
        return;
    }
    const std::size_t start = dot - kMonthDayLength;
    const std::size_t slash = m_strLogFile.rfind('/', dot);
    if (slash != std::string::npos && slash >= start) {
        return;
    }
    const std::string monthDay = MonthDayText(now);
    if (m_strLogFile.compare(start, kMonthDayLength, monthDay) != 0) {
        m_strLogFile.replace(start, kMonthDayLength, monthDay);
    }
}

}  // namespace tarnwick
