#include "forward/wake_signal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cstdint>

namespace tarnwick {

WakeSignal::WakeSignal() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeSignal::~WakeSignal() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

void WakeSignal::Signal() {
    const std::uint64_t one = 1;
    (void)!write(m_fd, &one, sizeof one);  // already signalled when the counter is full
}

void WakeSignal::Wait(ConnectionSocket socket, std::chrono::milliseconds most) {
    std::array<pollfd, 2> fds{
        {{m_fd, POLLIN, 0},
         {socket.fd, static_cast<short>(POLLIN | (socket.write ? POLLOUT : 0)), 0}}};
    if (poll(fds.data(), fds.size(), static_cast<int>(most.count())) > 0 &&
        (fds[0].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        (void)!read(m_fd, &count, sizeof count);
    }
}

}  // namespace tarnwick
