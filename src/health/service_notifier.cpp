#include "health/service_notifier.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace tarnwick {
namespace {

constexpr auto kReadyAskedEvery = std::chrono::seconds(1);

void Notify(const std::string& state) {
    sd_notify(0, state.c_str());
}

}  // namespace

ServiceNotifier::ServiceNotifier(std::chrono::milliseconds statusEvery)
    : m_wanted(std::getenv("NOTIFY_SOCKET") != nullptr), m_statusEvery(statusEvery) {
    std::uint64_t usec = 0;
    if (m_wanted && sd_watchdog_enabled(0, &usec) > 0) {
        m_watchdog = std::chrono::microseconds(usec);
    }
}

std::optional<std::chrono::milliseconds> ServiceNotifier::BeatEvery() const {
    if (!m_watchdog) {
        return std::nullopt;
    }
    return std::max(std::chrono::milliseconds(1),
                    std::chrono::duration_cast<std::chrono::milliseconds>(*m_watchdog / 4));
}

void ServiceNotifier::Start(Hooks hooks) {
    if (!m_wanted || m_thread.joinable()) {
        return;
    }
    m_thread = std::jthread(
        [this, hooks = std::move(hooks)](std::stop_token stop) { Run(hooks, std::move(stop)); });
}

void ServiceNotifier::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    m_thread.request_stop();
    m_thread.join();
    Notify("STOPPING=1");
}

void ServiceNotifier::Run(const Hooks& hooks, std::stop_token stop) {
    const std::chrono::steady_clock::duration tick =
        m_watchdog
            ? std::min<std::chrono::steady_clock::duration>(kReadyAskedEvery, *m_watchdog / 2)
            : kReadyAskedEvery;
    std::mutex mutex;
    std::condition_variable_any stopped;
    std::unique_lock lock(mutex);
    do {
        const auto now = std::chrono::steady_clock::now();
        Report(hooks, now);
        Watchdog(now);
    } while (!stopped.wait_for(lock, stop, tick, [] { return false; }) && !stop.stop_requested());
}

void ServiceNotifier::Report(const Hooks& hooks, std::chrono::steady_clock::time_point now) {
    if (!m_ready && hooks.ready()) {
        m_ready = true;
        m_lastStatus = now;
        Notify("READY=1\nSTATUS=" + hooks.status());
    } else if (m_ready && now - m_lastStatus >= m_statusEvery) {
        m_lastStatus = now;
        Notify("STATUS=" + hooks.status());
    }
}

void ServiceNotifier::Watchdog(std::chrono::steady_clock::time_point now) {
    const std::uint64_t beats = m_beats.load(std::memory_order_relaxed);
    if (!m_watchdog || beats == m_beatsSeen || now - m_lastWatchdog < *m_watchdog / 2) {
        return;
    }
    m_beatsSeen = beats;
    m_lastWatchdog = now;
    Notify("WATCHDOG=1");
}

}  // namespace tarnwick
