#pragma once

// What the centre tells the service manager that started it (NOTIFY_SOCKET): READY=1 once it
// is ready, STATUS= every 10 seconds, WATCHDOG=1 while the watched loop beats, STOPPING=1 at
// the stop. Everything but STOPPING=1 leaves from the notifier's own thread: the watched loop
// only marks its beats, so a slow manager never holds it up, and a loop that stops beating
// stops the watchdog's messages. Without NOTIFY_SOCKET nothing is sent and no thread runs.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

namespace tarnwick {

class ServiceNotifier {
public:
    struct Hooks {
        std::function<bool()> ready;          // asked every second until it holds
        std::function<std::string()> status;  // the STATUS= text
    };

    static constexpr auto kStatusEvery = std::chrono::seconds(10);

    // Reads NOTIFY_SOCKET and the watchdog's WATCHDOG_USEC.
    explicit ServiceNotifier(std::chrono::milliseconds statusEvery = kStatusEvery);
    ServiceNotifier(const ServiceNotifier&) = delete;
    ServiceNotifier& operator=(const ServiceNotifier&) = delete;
    ~ServiceNotifier() = default;

    // How often the watched loop must beat while the manager's watchdog is on: a quarter of
    // its timeout, so every half of it, when WATCHDOG=1 leaves, has seen a beat.
    [[nodiscard]] std::optional<std::chrono::milliseconds> BeatEvery() const;
    // Any thread, never waits.
    void Beat() { m_beats.fetch_add(1, std::memory_order_relaxed); }

    void Start(Hooks hooks);
    // STOPPING=1, once the thread has stopped.
    void Stop();

private:
    void Run(const Hooks& hooks, std::stop_token stop);
    // READY=1 or STATUS=, whichever is due.
    void Report(const Hooks& hooks, std::chrono::steady_clock::time_point now);
    void Watchdog(std::chrono::steady_clock::time_point now);

    bool m_wanted = false;
    std::chrono::milliseconds m_statusEvery;
    std::optional<std::chrono::microseconds> m_watchdog;  // the manager's timeout
    std::atomic<std::uint64_t> m_beats{0};
    std::uint64_t m_beatsSeen = 0;
    bool m_ready = false;
    std::chrono::steady_clock::time_point m_lastStatus{};
    std::chrono::steady_clock::time_point m_lastWatchdog{};
    std::jthread m_thread;  // last: stopped and joined first
};

}  // namespace tarnwick
