#include "net/receive_thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

#include "net/receive_loop.h"

namespace tarnwick {

std::unique_ptr<ReceiveThread> ReceiveThread::Start(const ReceiveThreadArgs& args, int& error) {
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        error = errno;
        return nullptr;
    }
    std::unique_ptr<ReceiveThread> thread(new (std::nothrow) ReceiveThread(wakeFd));
    if (!thread) {
        close(wakeFd);
        error = ENOMEM;
        return nullptr;
    }
    try {
        thread->m_thread = std::jthread([args, wakeFd](std::stop_token stop) {
            ReceiveLoop(args, wakeFd, std::move(stop)).Run();
        });
    } catch (const std::system_error& failure) {
        error = failure.code().value();
        return nullptr;  // the destructor closes the descriptor
    }
    return thread;
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
