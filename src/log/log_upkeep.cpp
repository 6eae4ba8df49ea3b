#include "log/log_upkeep.h"

#include <utility>

#include "log/idle_priority.h"

namespace tarnwick {

LogUpkeep::LogUpkeep(UpkeepSettings settings) : m_settings(std::move(settings)) {
    m_measure = std::jthread([this](std::stop_token stop) { Measure(stop); });
    m_rounds = std::jthread([this](std::stop_token stop) { RunRounds(stop); });
}

LogUpkeep::~LogUpkeep() {
    Stop();
}

void LogUpkeep::Stop() {
    m_rounds.request_stop();
    m_measure.request_stop();
    if (m_rounds.joinable()) {
        m_rounds.join();
    }
    if (m_measure.joinable()) {
        m_measure.join();
    }
}

std::vector<std::string> LogUpkeep::TakeReports() {
    const std::scoped_lock lock(m_mutex);
    return std::exchange(m_reports, {});
}

LogSpace LogUpkeep::Space() const {
    const std::scoped_lock lock(m_mutex);
    return m_space;
}

void LogUpkeep::Say(std::string line) {
    {
        const std::scoped_lock lock(m_mutex);
        m_reports.push_back(std::move(line));
    }
    if (m_settings.wake) {
        m_settings.wake();
    }
}

bool LogUpkeep::StillShort() const {
    const auto free = FreeBytesOf(m_settings.folder);
    return free && *free < Space().minFree;
}

void LogUpkeep::RunRounds(std::stop_token stop) {
    (void)LowerThisThreadToIdle();  // the round goes on at the usual priority if refused
    const UpkeepContext context{m_settings.folder, m_settings.rules, m_settings.forwarded,
                                [this](std::string line) { Say(std::move(line)); }, stop};
    while (!stop.stop_requested()) {
        if (const auto today = DayOf(m_settings.clock())) {
            RunArchiveRound(context, *today);
            if (StillShort()) {
                FreeLogSpace(context, *today, [this] { return StillShort(); });
            }
        }
        std::unique_lock lock(m_mutex);
        m_roundDue.wait_for(lock, stop, m_settings.roundEvery, [this] { return m_spaceShort; });
        m_spaceShort = false;
    }
}

void LogUpkeep::Measure(std::stop_token stop) {
    bool wasLow = false;
    while (!stop.stop_requested()) {
        const LogSpace space = MeasureLogSpace(m_settings.folder, m_settings.minFree);
        {
            const std::scoped_lock lock(m_mutex);
            m_space = space;
            m_spaceShort = m_spaceShort || (space.Low() && !wasLow);
        }
        if (space.Low() != wasLow && space.measured) {
            Say(space.Low() ? SpaceLowText(m_settings.folder, space)
                            : SpaceBackText(m_settings.folder, space));
            m_roundDue.notify_all();
            wasLow = space.Low();
        }
        std::unique_lock lock(m_mutex);
        m_roundDue.wait_for(lock, stop, m_settings.measureEvery, [] { return false; });
    }
}

}  // namespace tarnwick
