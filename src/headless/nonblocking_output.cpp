#include "headless/nonblocking_output.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace tarnwick {

NonBlockingOutput::NonBlockingOutput(int fd, std::size_t capacity)
    : m_fd(fd), m_capacity(capacity) {
    struct stat target {};
    if (fstat(fd, &target) != 0) {
        m_kind = Kind::Closed;
        return;
    }
    if (S_ISSOCK(target.st_mode)) {
        m_kind = Kind::Socket;
    } else if (S_ISFIFO(target.st_mode) || S_ISCHR(target.st_mode)) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        const int own = open(self.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (own >= 0) {
            m_fd = own;
            m_ownsFd = true;
        }
    }
}

NonBlockingOutput::~NonBlockingOutput() {
    if (m_ownsFd) {
        close(m_fd);
    }
}

bool NonBlockingOutput::WriteLine(std::string_view line) {
    if (m_kind == Kind::Closed) {
        return true;  // nobody reads: nothing to keep
    }
    if (m_buffer.size() - m_sent + line.size() + 1 > m_capacity) {
        return false;
    }
    if (m_sent > 0 && m_sent == m_buffer.size()) {
        m_buffer.clear();
        m_sent = 0;
    }
    m_buffer += line;
    m_buffer += '\n';
    return true;
}

void NonBlockingOutput::Flush() {
    while (Pending() && m_kind != Kind::Closed) {
        const char* data = m_buffer.data() + m_sent;
        const std::size_t size = m_buffer.size() - m_sent;
        const ssize_t n = m_kind == Kind::Socket
                              ? send(m_fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL)
                              : write(m_fd, data, size);
        if (n > 0) {
            m_sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            m_kind = Kind::Closed;  // a reader that went away: printing stops, nothing else
        }
        break;
    }
    if (!Pending() || m_kind == Kind::Closed) {
        m_buffer.clear();
        m_sent = 0;
    } else if (m_sent > m_capacity / 2) {
        m_buffer.erase(0, m_sent);  // keep the unsent tail at the front, at most once per half
        m_sent = 0;
    }
}

std::uint64_t NonBlockingOutput::Discard() {
    const std::string_view unsent = std::string_view(m_buffer).substr(m_sent);
    const auto lines = static_cast<std::uint64_t>(std::count(unsent.begin(), unsent.end(), '\n'));
    m_buffer.clear();
    m_sent = 0;
    return lines;
}

}  // namespace tarnwick
