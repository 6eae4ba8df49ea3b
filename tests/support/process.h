#pragma once

// A program started by a test, with its standard output and error captured. Every wait is
// bounded and returns as soon as what it waits for has happened.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::test {

// Picks a line of output (given without its "\n").
using LinePredicate = std::function<bool(const std::string& line)>;

// What the child's standard input reads: nothing, or what the test writes with WriteInput.
enum class ChildInput { Null, Pipe };

class ChildProcess {
public:
    // argv[0] is the program's path. Throws std::system_error when the program cannot be
    // started.
    static ChildProcess Start(std::vector<std::string> argv, ChildInput input = ChildInput::Null);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // A child still running is killed and reaped.
    ~ChildProcess();

    // The next line that wanted picks, searching the lines after the one this call last
    // returned for the same stream; nothing when the stream ends or the timeout passes first.
    std::optional<std::string> WaitForStdoutLine(const LinePredicate& wanted,
                                                 std::chrono::milliseconds timeout);
    std::optional<std::string> WaitForStderrLine(const LinePredicate& wanted,
                                                 std::chrono::milliseconds timeout);

    // Everything captured so far.
    [[nodiscard]] const std::string& Stdout() const { return m_out.text; }
    [[nodiscard]] const std::string& Stderr() const { return m_err.text; }

    // Writes bytes to the child's standard input (ChildInput::Pipe) without waiting: false,
    // with errno set, when not all of them fit in the pipe now or the child no longer reads.
    bool WriteInput(std::string_view bytes);
    // The child reads the end of its input.
    void CloseInput();

    // kill(2): 0, or -1 with errno set.
    int Signal(int signal);

    // The exit status (128 + the signal's number when a signal ended it), once the child has
    // ended and its output is read; nothing when the timeout passes first.
    std::optional<int> Wait(std::chrono::milliseconds timeout);

    [[nodiscard]] pid_t Pid() const { return m_pid; }

private:
    struct Stream {
        int fd = -1;  // -1 once the child closed it
        std::string text;
        std::size_t searched = 0;  // lines before this offset were searched or returned
    };

    ChildProcess(pid_t pid, int pidFd, int inFd, int outFd, int errFd);
    std::optional<std::string> WaitForLine(Stream& stream, const LinePredicate& wanted,
                                           std::chrono::milliseconds timeout);
    static std::optional<std::string> NextMatch(Stream& stream, const LinePredicate& wanted);
    // Reads output and notes the child's end until done() holds or deadline passes; true when
    // done() held.
    template <typename Done>
    bool PumpUntil(std::chrono::steady_clock::time_point deadline, Done done);
    void PumpOnce(int timeoutMs);
    void Reap();

    pid_t m_pid;
    int m_pidFd;
    int m_in;  // the writing end of the child's standard input; -1 when there is none
    Stream m_out;
    Stream m_err;
    std::optional<int> m_status;
};

// Picks the lines that begin with prefix.
[[nodiscard]] LinePredicate StartsWith(std::string prefix);
// Picks the lines that are wanted, whole.
[[nodiscard]] LinePredicate Is(std::string wanted);

// The UDP port a centre names on standard error once it listens; 0 when it names none within
// timeout.
[[nodiscard]] std::uint16_t ListeningPort(ChildProcess& centre, std::chrono::milliseconds timeout);

}  // namespace tarnwick::test
