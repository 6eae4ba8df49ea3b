#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>
#include <utility>

extern char** environ;

namespace tarnwick::test {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
}

struct Pipe {
    int read;
    int write;
};

Pipe MakePipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        Fail(errno, "pipe2");
    }
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    return {fds[0], fds[1]};
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

int StatusCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, INT_MAX));
}

// Appends what the pipe holds now; closes it at end of file.
void ReadAvailable(int& fd, std::string& text) {
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count > 0) {
            text.append(buffer, static_cast<std::size_t>(count));
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count == 0) {
            CloseFd(fd);
        }
        return;
    }
}

pid_t Spawn(std::vector<std::string>& argv, const Pipe& out, const Pipe& err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write, 1);
    posix_spawn_file_actions_adddup2(&actions, err.write, 2);
    std::vector<char*> args;
    for (std::string& arg : argv) {
        args.push_back(arg.data());
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        Fail(error, "posix_spawn");
    }
    return pid;
}

}  // namespace

ChildProcess ChildProcess::Start(std::vector<std::string> argv) {
    Pipe out = MakePipe();
    Pipe err = MakePipe();
    pid_t pid = -1;
    try {
        pid = Spawn(argv, out, err);
    } catch (...) {
        for (int fd : {out.read, out.write, err.read, err.write}) {
            CloseFd(fd);
        }
        throw;
    }
    CloseFd(out.write);
    CloseFd(err.write);
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    const int error = errno;
    ChildProcess child(pid, pidFd, out.read, err.read);
    if (pidFd < 0) {
        Fail(error, "pidfd_open");  // the destructor kills and reaps the child
    }
    return child;
}

ChildProcess::ChildProcess(pid_t pid, int pidFd, int outFd, int errFd)
    : m_pid(pid), m_pidFd(pidFd), m_out{outFd, {}, 0}, m_err{errFd, {}, 0} {}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)),
      m_pidFd(std::exchange(other.m_pidFd, -1)),
      m_out(std::exchange(other.m_out, {})),
      m_err(std::exchange(other.m_err, {})),
      m_status(other.m_status) {}

ChildProcess::~ChildProcess() {
    if (m_pid > 0 && !m_status) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    CloseFd(m_pidFd);
    CloseFd(m_out.fd);
    CloseFd(m_err.fd);
}

std::optional<std::string> ChildProcess::WaitForStdoutLine(const LinePredicate& wanted,
                                                           std::chrono::milliseconds timeout) {
    return WaitForLine(m_out, wanted, timeout);
}

std::optional<std::string> ChildProcess::WaitForStderrLine(const LinePredicate& wanted,
                                                           std::chrono::milliseconds timeout) {
    return WaitForLine(m_err, wanted, timeout);
}

int ChildProcess::Signal(int signal) {
    if (m_status) {
        errno = ESRCH;  // reaped: the number may belong to another process by now
        return -1;
    }
    return kill(m_pid, signal);
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
    PumpUntil(Clock::now() + timeout, [this] { return m_status && m_out.fd < 0 && m_err.fd < 0; });
    return m_status;
}

std::optional<std::string> ChildProcess::WaitForLine(Stream& stream, const LinePredicate& wanted,
                                                     std::chrono::milliseconds timeout) {
    std::optional<std::string> line;
    PumpUntil(Clock::now() + timeout, [&] {
        line = NextMatch(stream, wanted);
        return line || stream.fd < 0;
    });
    return line;
}

std::optional<std::string> ChildProcess::NextMatch(Stream& stream, const LinePredicate& wanted) {
    for (;;) {
        const std::size_t end = stream.text.find('\n', stream.searched);
        const bool lastLine = end == std::string::npos;
        // An unterminated last line counts once nothing more can follow it.
        if (lastLine && (stream.fd >= 0 || stream.searched >= stream.text.size())) {
            return std::nullopt;
        }
        const std::size_t stop = lastLine ? stream.text.size() : end;
        std::string line = stream.text.substr(stream.searched, stop - stream.searched);
        stream.searched = lastLine ? stop : end + 1;
        if (wanted(line)) {
            return line;
        }
    }
}

template <typename Done>
bool ChildProcess::PumpUntil(Clock::time_point deadline, Done done) {
    while (!done()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        PumpOnce(RemainingMs(deadline));
    }
    return true;
}

void ChildProcess::PumpOnce(int timeoutMs) {
    pollfd fds[] = {
        {m_out.fd, POLLIN, 0}, {m_err.fd, POLLIN, 0}, {m_status ? -1 : m_pidFd, POLLIN, 0}};
    if (poll(fds, 3, timeoutMs) <= 0) {
        return;
    }
    if (fds[0].revents != 0) {
        ReadAvailable(m_out.fd, m_out.text);
    }
    if (fds[1].revents != 0) {
        ReadAvailable(m_err.fd, m_err.text);
    }
    if (fds[2].revents != 0) {
        Reap();
    }
}

void ChildProcess::Reap() {
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_status = StatusCode(status);
    }
}

LinePredicate StartsWith(std::string prefix) {
    return
        [prefix = std::move(prefix)](const std::string& line) { return line.starts_with(prefix); };
}

}  // namespace tarnwick::test
