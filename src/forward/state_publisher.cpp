#include "forward/state_publisher.h"

#include <utility>

#include "forward/payloads.h"

namespace tarnwick {
namespace {

constexpr auto kStatusEvery = std::chrono::seconds(10);
constexpr std::size_t kDeviceTimesKept = 100'000;

}  // namespace

std::string StatusTopicOf(const ForwardSettings& settings) {
    return settings.topic + "/status" +
           (settings.oneOfSeveral ? "/" + TopicKey(settings.clientId) : std::string());
}

StatePublisher::StatePublisher(const ForwardSettings& settings, DeviceLookup device,
                               BrokerLink& link, std::function<Moment()> now)
    : m_deviceTopic(settings.topic + "/device/"),
      m_statusTopic(StatusTopicOf(settings)),
      m_device(std::move(device)),
      m_link(link),
      m_now(std::move(now)) {}

void StatePublisher::SetLogSpace(const LogSpace& space) {
    const std::scoped_lock lock(m_mutex);
    m_logSpace = space;
}

void StatePublisher::SetCounters(const CounterSnapshot& counters) {
    const std::lock_guard lock(m_mutex);
    m_counters = counters;
}

void StatePublisher::DeviceDue(const std::string& key) {
    const std::lock_guard lock(m_mutex);
    m_devicesDue.insert(key);
}

void StatePublisher::Connected() {
    m_nextStatus = m_now().steady;
}

bool StatePublisher::PublishStatusIfDue() {
    const Clock::time_point now = m_now().steady;
    if (now < m_nextStatus) {
        return true;
    }
    m_nextStatus = now + kStatusEvery;
    CounterSnapshot counters;
    LogSpace space;
    {
        const std::lock_guard lock(m_mutex);
        counters = m_counters;
        space = m_logSpace;
    }
    return m_link.Publish(m_statusTopic, OnlinePayload(counters, m_forward, space), true)
        .has_value();
}

bool StatePublisher::PublishDevicesDue() {
    std::unordered_set<std::string> due;
    {
        const std::lock_guard lock(m_mutex);
        due.swap(m_devicesDue);
    }
    for (auto key = due.begin(); key != due.end(); key = due.erase(key)) {
        if (!PublishDevice(*key)) {
            const std::lock_guard lock(m_mutex);
            m_devicesDue.merge(due);
            return false;
        }
        m_deviceNext[*key] = m_now().steady + kStatusEvery;
    }
    return true;
}

// The times kept are pruned to those still to come: as many as devices heard in the last 10 s.
bool StatePublisher::RecordFrom(const std::string& key) {
    const Clock::time_point now = m_now().steady;
    Clock::time_point& next = m_deviceNext[key];
    if (now < next) {
        return true;
    }
    next = now + kStatusEvery;
    if (m_deviceNext.size() > kDeviceTimesKept) {
        std::erase_if(m_deviceNext, [now](const auto& device) { return device.second <= now; });
    }
    return PublishDevice(key);
}

bool StatePublisher::PublishDevice(const std::string& key) {
    const std::optional<DeviceRow> device = m_device(key);
    return !device ||
           m_link.Publish(m_deviceTopic + TopicKey(key), DevicePayload(*device), true).has_value();
}

void StatePublisher::Offline() {
    (void)m_link.Publish(m_statusTopic, kOfflinePayload, true);
}

}  // namespace tarnwick
