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
    return {fds[0], fds[1]};
}

// The test's end of a pipe never blocks, so no wait of the test's is unbounded; the child's
// end stays as a program expects it.
void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, O_NONBLOCK);
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

struct Pipes {
    Pipe in{-1, -1};  // none while the child's input is /dev/null
    Pipe out{-1, -1};
    Pipe err{-1, -1};

    void CloseAll() {
        for (int* fd : {&in.read, &in.write, &out.read, &out.write, &err.read, &err.write}) {
            CloseFd(*fd);
        }
    }
};

Pipes MakePipes(ChildInput input) {
    Pipes pipes;
    try {
        if (input == ChildInput::Pipe) {
            pipes.in = MakePipe();
            SetNonBlocking(pipes.in.write);
        }
        pipes.out = MakePipe();
        SetNonBlocking(pipes.out.read);
        pipes.err = MakePipe();
        SetNonBlocking(pipes.err.read);
    } catch (...) {
        pipes.CloseAll();
        throw;
    }
    return pipes;
}

// errno of the failed write, or 0 once every byte is written.
int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = write(fd, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return 0;
}

// A child that no longer reads must fail the write with EPIPE, not end the test program:
// SIGPIPE is held back for this thread meanwhile, and the one the write raised is taken.
int WriteHoldingSigpipe(int fd, std::string_view bytes) {
    sigset_t sigpipe;
    sigemptyset(&sigpipe);
    sigaddset(&sigpipe, SIGPIPE);
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &sigpipe, &before);
    const int error = WriteAll(fd, bytes);
    if (error == EPIPE) {
        const timespec now{};
        sigtimedwait(&sigpipe, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return error;
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

pid_t Spawn(std::vector<std::string>& argv, const Pipes& pipes) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (pipes.in.read >= 0) {
        posix_spawn_file_actions_adddup2(&actions, pipes.in.read, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, pipes.out.write, 1);
    posix_spawn_file_actions_adddup2(&actions, pipes.err.write, 2);
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

ChildProcess ChildProcess::Start(std::vector<std::string> argv, ChildInput input) {
    Pipes pipes = MakePipes(input);
    pid_t pid = -1;
    try {
        pid = Spawn(argv, pipes);
    } catch (...) {
        pipes.CloseAll();
        throw;
    }
    CloseFd(pipes.in.read);
    CloseFd(pipes.out.write);
    CloseFd(pipes.err.write);
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    const int error = errno;
    ChildProcess child(pid, pidFd, pipes.in.write, pipes.out.read, pipes.err.read);
    if (pidFd < 0) {
        Fail(error, "pidfd_open");  // the destructor kills and reaps the child
    }
    return child;
}

ChildProcess::ChildProcess(pid_t pid, int pidFd, int inFd, int outFd, int errFd)
    : m_pid(pid), m_pidFd(pidFd), m_in(inFd), m_out{outFd, {}, 0}, m_err{errFd, {}, 0} {}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)),
      m_pidFd(std::exchange(other.m_pidFd, -1)),
      m_in(std::exchange(other.m_in, -1)),
      m_out(std::exchange(other.m_out, {})),
      m_err(std::exchange(other.m_err, {})),
      m_status(other.m_status) {}

ChildProcess::~ChildProcess() {
    if (m_pid > 0 && !m_status) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    CloseFd(m_pidFd);
    CloseFd(m_in);
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

bool ChildProcess::WriteInput(std::string_view bytes) {
    const int error = m_in < 0 ? EBADF : WriteHoldingSigpipe(m_in, bytes);
    errno = error;
    return error == 0;
}

void ChildProcess::CloseInput() {
    CloseFd(m_in);
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

LinePredicate Is(std::string wanted) {
    return [wanted = std::move(wanted)](const std::string& line) { return line == wanted; };
}

std::uint16_t ListeningPort(ChildProcess& centre, std::chrono::milliseconds timeout) {
    constexpr std::string_view kListening = "tarnwick: listening on UDP port ";
    const auto line = centre.WaitForStderrLine(StartsWith(std::string(kListening)), timeout);
    return line ? static_cast<std::uint16_t>(std::stoul(line->substr(kListening.size()))) : 0;
}

}  // namespace tarnwick::test
