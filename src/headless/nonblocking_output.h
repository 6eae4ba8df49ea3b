#pragma once

// Standard output or error written without ever blocking the headless centre: what the reader
// does not take yet waits in a bounded buffer, and lines that do not fit are counted, not
// written. A terminal, a pipe or a FIFO is written through a descriptor of its own opened
// non-blocking (so the shell's stays as it was), a socket (a service manager's journal) with
// MSG_DONTWAIT, and a file as it is.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnwick {

class NonBlockingOutput {
public:
    static constexpr std::size_t kDefaultCapacity = 8 * 1024 * 1024;

    explicit NonBlockingOutput(int fd, std::size_t capacity = kDefaultCapacity);
    NonBlockingOutput(const NonBlockingOutput&) = delete;
    NonBlockingOutput& operator=(const NonBlockingOutput&) = delete;
    ~NonBlockingOutput();

    // Queues one line (the "\n" is added); Flush writes it. False when the line did not fit,
    // so it will not be written.
    bool WriteLine(std::string_view line);
    // Writes as much of the buffer as the reader takes now.
    void Flush();

    // The descriptor to poll for POLLOUT while Pending().
    [[nodiscard]] int Fd() const { return m_fd; }
    [[nodiscard]] bool Pending() const { return m_sent < m_buffer.size(); }
    // Gives up what the reader has not taken: the number of lines not (wholly) written.
    [[nodiscard]] std::uint64_t Discard();

private:
    enum class Kind { Plain, Socket, Closed };

    int m_fd;
    bool m_ownsFd = false;
    Kind m_kind = Kind::Plain;
    std::size_t m_capacity;
    std::string m_buffer;
    std::size_t m_sent = 0;  // bytes of m_buffer already written
};

}  // namespace tarnwick
