#pragma once

// Leaves a test only a few free file descriptors, as a process at its descriptor limit has:
// every other free one is taken (under a lowered soft limit, so that takes little) and given
// back, with the old limit, when the object goes.

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace tarnwick::test {

class DescriptorsNearlyExhausted {
public:
    explicit DescriptorsNearlyExhausted(int spare) {
        getrlimit(RLIMIT_NOFILE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = std::min<rlim_t>(m_old.rlim_cur, kLowered);
        setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd = open("/dev/null", O_RDONLY | O_CLOEXEC); fd >= 0;
             fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) {
            m_taken.push_back(fd);
        }
        for (; spare > 0 && !m_taken.empty(); --spare) {
            close(m_taken.back());
            m_taken.pop_back();
        }
    }
    DescriptorsNearlyExhausted(const DescriptorsNearlyExhausted&) = delete;
    DescriptorsNearlyExhausted& operator=(const DescriptorsNearlyExhausted&) = delete;
    ~DescriptorsNearlyExhausted() {
        for (const int fd : m_taken) {
            close(fd);
        }
        setrlimit(RLIMIT_NOFILE, &m_old);
    }

private:
    static constexpr rlim_t kLowered = 1024;
    rlimit m_old{};
    std::vector<int> m_taken;
};

}  // namespace tarnwick::test
