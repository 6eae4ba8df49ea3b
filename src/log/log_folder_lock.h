#pragma once

// A log folder taken by one centre: two centres writing one folder would interleave their
// daily files and both forward them. The lock is the kernel's (flock on the folder itself), so
// a centre that dies leaves nothing to clean up.

#include <string>

namespace tarnwick {

class LogFolderLock {
public:
    // Creates folder where missing. InUse: another centre holds it. Unlocked: the folder could
    // not be opened; the log reports that its own way, so nothing is refused for it.
    enum class Outcome { Taken, InUse, Unlocked };

    explicit LogFolderLock(const std::string& folder);
    LogFolderLock(const LogFolderLock&) = delete;
    LogFolderLock& operator=(const LogFolderLock&) = delete;
    ~LogFolderLock();

    [[nodiscard]] Outcome Result() const { return m_outcome; }

private:
    int m_fd = -1;
    Outcome m_outcome = Outcome::Unlocked;
};

}  // namespace tarnwick
