#include "log/log_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "log/append_file.h"

namespace tarnwick {

LogFolderLock::LogFolderLock(const std::string& folder) {
    (void)PrepareFolder(folder);
    m_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        return;
    }
    if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_outcome = Outcome::Taken;
    } else if (errno == EWOULDBLOCK) {
        m_outcome = Outcome::InUse;
    }
}

LogFolderLock::~LogFolderLock() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

}  // namespace tarnwick
