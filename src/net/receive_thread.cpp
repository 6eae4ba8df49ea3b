#include "net/receive_thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "net/receive_loop.h"

namespace tarnwick {

ReceiveThread::ReceiveThread(const ReceiveThreadArgs& args)
    : m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_wakeFd < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    try {
        m_thread = std::jthread([args, wakeFd = m_wakeFd](std::stop_token stop) {
            ReceiveLoop(args, wakeFd, std::move(stop)).Run();
        });
    } catch (...) {
        close(m_wakeFd);
        throw;
    }
}

ReceiveThread::~ReceiveThread() {
    Stop();
    close(m_wakeFd);
}

void ReceiveThread::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    m_thread.request_stop();
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(m_wakeFd, &one, sizeof one);
    m_thread.join();
}

}  // namespace tarnwick
