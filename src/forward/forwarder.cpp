#include "forward/forwarder.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fstream>
#include <utility>

#include "forward/payloads.h"

namespace tarnwick {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(100);
constexpr int kForwarderNice = 10;
constexpr auto kConnectTimeout = std::chrono::seconds(10);
constexpr auto kLongestBackoff = std::chrono::seconds(30);
constexpr auto kStatusEvery = std::chrono::seconds(10);
constexpr std::size_t kDeviceTimesKept = 100'000;

// The password file's first line; empty when it cannot be read (the broker then refuses).
std::string PasswordOf(const std::optional<std::string>& file) {
    std::string password;
    if (file) {
        std::ifstream in(*file);
        std::getline(in, password);
    }
    return password;
}

// Several centres on one broker each keep their own status, and their own last will: one going
// away must not mark the others offline.
std::string StatusTopicOf(const ForwardSettings& settings) {
    return settings.topic + "/status" +
           (settings.oneOfSeveral ? "/" + TopicKey(settings.clientId) : std::string());
}

}  // namespace

Forwarder::Forwarder(ForwardSettings settings, std::function<void()> wake, DeviceLookup device)
    : m_settings(std::move(settings)),
      m_wake(std::move(wake)),
      m_url(BrokerUrlText(m_settings.url)),
      m_statusTopic(StatusTopicOf(m_settings)),
      m_cursor(m_settings.logFolder,
               m_settings.replayFrom
                   ? StartOfDay(*m_settings.replayFrom)
                   : LoadPosition(m_settings.logFolder).value_or(StartOfToday(SystemLocalTime)),
               [this](std::string_view line) {
                   m_backlogStale = true;
                   Report(std::string(line));
               }),
      m_acked(m_cursor.Position()),
      m_saved(m_acked),
      m_device(std::move(device)),
      m_replayFrom(m_settings.replayFrom),
      m_backlog(m_settings.logFolder) {}

void Forwarder::Start() {
    m_thread = std::jthread([this](const std::stop_token& stop) { Run(stop); });
}

void Forwarder::Stop() {
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
}

void Forwarder::Nudge() {
    {
        const std::lock_guard lock(m_mutex);
        m_nudged = true;
    }
    m_changed.notify_one();
}

void Forwarder::SetCounters(const CounterSnapshot& counters) {
    const std::lock_guard lock(m_mutex);
    m_counters = counters;
}

std::string Forwarder::StateText() {
    m_backlogWanted = true;
    const std::uint64_t behind = m_behind;
    const std::lock_guard lock(m_mutex);
    return behind > static_cast<std::uint64_t>(kMaxInFlight)
               ? m_state + ", " + GroupedDigits(behind) + " records behind"
               : m_state;
}

std::vector<std::string> Forwarder::TakeReports() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_reports, {});
}

void Forwarder::SetState(std::string state) {
    const std::lock_guard lock(m_mutex);
    m_state = std::move(state);
}

void Forwarder::Report(std::string line) {
    {
        const std::lock_guard lock(m_mutex);
        m_reports.push_back(std::move(line));
    }
    m_wake();
}

// The library's thread: queued, and the forwarder woken; nothing else.
void Forwarder::Deliver(std::uint64_t connection, LinkEvent event) {
    {
        const std::lock_guard lock(m_mutex);
        if (connection != m_connectionId) {
            return;
        }
        m_events.push_back(std::move(event));
    }
    m_changed.notify_one();
}

void Forwarder::Run(const std::stop_token& stop) {
    // Answers come first: when the cores are short, the forwarder (and the library's network
    // thread, which inherits this) yields to the receive thread and the log stage, and catches
    // up from the log afterwards. Refused or not, forwarding goes on.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kForwarderNice);
    while (!stop.stop_requested()) {
        std::vector<LinkEvent> events;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait_for(lock, stop, kPoll, [this] { return !m_events.empty() || m_nudged; });
            m_nudged = false;
            events.swap(m_events);
        }
        for (const LinkEvent& event : events) {
            Handle(event);
        }
        const Clock::time_point now = Clock::now();
        if (!m_connection && now >= m_nextAttempt) {
            Attempt();
        } else if (m_connection && !m_up && now >= m_attemptDeadline) {
            Fail("no answer within " + std::to_string(kConnectTimeout.count()) + " s");
        }
        SaveIfMoved();  // first: what it saves leaves the window for new messages
        CountBacklogIfDue();
        if (m_up) {
            PublishStatusIfDue();
            PublishResults();
            PublishDevicesDue();
            PublishMore();
        }
    }
    SaveIfMoved();
    if (m_up) {
        PublishStatus(kOfflinePayload);  // a clean stop sends no last will
    }
    Drop();
}

// Never under m_mutex: closing the connection waits for the library's thread, which may be
// delivering an event this instant.
void Forwarder::Drop() {
    {
        const std::lock_guard lock(m_mutex);
        ++m_connectionId;
        m_events.clear();
    }
    m_connection.reset();
}

void Forwarder::Handle(const LinkEvent& event) {
    if (!m_connection) {
        return;  // the connection failed while these were queued
    }
    switch (event.kind) {
        case LinkEvent::Kind::Connected:
            Connected();
            break;
        case LinkEvent::Kind::Refused:
            Fail("refused: " + event.text);
            break;
        case LinkEvent::Kind::Lost:
            Fail(event.text);
            break;
        case LinkEvent::Kind::Acked:
            Acked(event.mid);
            break;
        case LinkEvent::Kind::Message:
            Received(event);
            break;
    }
}

void Forwarder::Attempt() {
    std::uint64_t id = 0;
    {
        const std::lock_guard lock(m_mutex);
        id = ++m_connectionId;
    }
    m_connection = std::make_unique<MqttConnection>(
        m_settings, [this, id](LinkEvent event) { Deliver(id, std::move(event)); });
    m_attemptDeadline = Clock::now() + kConnectTimeout;
    const std::string error = m_connection->Start(PasswordOf(m_settings.passwordFile),
                                                  m_statusTopic, std::string(kOfflinePayload));
    if (!error.empty()) {
        Fail(error);
    }
}

void Forwarder::Connected() {
    m_up = true;
    m_backoff = std::chrono::seconds(1);
    SetState("MQTT broker connected");
    m_nextStatus = Clock::now();
    Subscribe();
    if (!m_wasUp) {
        Report("MQTT broker connected: " + m_url);
    } else if (m_downReported) {
        Report("MQTT broker back: " + m_url + "; catching up from the log");
    }
    m_wasUp = true;
    m_downReported = false;
}

// The connection is thrown away with whatever it had in flight: the cursor goes back to the
// acknowledged position, and the same entries go out again once a connection is had.
// Said once an outage, with its first reason: the library's own words when it had some.
void Forwarder::Fail(const std::string& reason) {
    if (!m_downReported) {
        const std::string libraryError = m_connection ? m_connection->LastError() : "";
        std::string_view text = libraryError.empty() ? reason : libraryError;
        if (text.ends_with('.')) {
            text.remove_suffix(1);
        }
        Report("MQTT broker down: " + m_url + ": " + std::string(text) +
               "; retrying, records wait in the log");
        const std::time_t now = std::time(nullptr);
        SetState("MQTT broker down since " + TimeColumnText(LocalTimeOf(now)).substr(2));
        m_downReported = true;
    }
    Drop();
    m_up = false;
    m_inFlight.clear();
    m_ackedCount = 0;
    m_cursor.Seek(m_acked);
    m_nextAttempt = Clock::now() + m_backoff;
    m_backoff = std::min(m_backoff * 2, kLongestBackoff);
}

// The position moves over the acknowledged messages at the front only: in log order.
void Forwarder::Acked(int mid) {
    for (InFlight& message : m_inFlight) {
        if (message.mid == mid && !message.acked) {
            message.acked = true;
            break;
        }
    }
    MoveAcked();
}

void Forwarder::MoveAcked() {
    for (; m_ackedCount < m_inFlight.size() && m_inFlight[m_ackedCount].acked; ++m_ackedCount) {
        m_acked = m_inFlight[m_ackedCount].after;
        if (m_inFlight[m_ackedCount].record) {
            m_backlog.Acked();
        }
    }
}

void Forwarder::CountBacklogIfDue() {
    const Clock::time_point now = Clock::now();
    if (!m_backlogWanted || now < m_nextCount) {
        return;
    }
    m_nextCount = now + std::chrono::seconds(1);
    if (!m_backlog.Started() || m_backlogStale) {
        m_backlog.Restart(m_acked);
        m_backlogStale = false;
    }
    m_backlog.CountNew();
    m_behind = m_backlog.Behind();
}

void Forwarder::PublishMore() {
    // Under a flood the log is read in batches of a quarter of the window at least: each read
    // opens the file and takes its lock, and the log stage must meet that lock seldom.
    const std::size_t window = static_cast<std::size_t>(kMaxInFlight);
    if (!m_inFlight.empty() && window - m_inFlight.size() < window / 4) {
        return;
    }
    while (m_up && m_inFlight.size() < static_cast<std::size_t>(kMaxInFlight)) {
        const CursorBatch batch = m_cursor.Next(kMaxInFlight - m_inFlight.size());
        if (batch.entries.empty()) {
            return;
        }
        for (const LogEntry& entry : batch.entries) {
            if (!PublishEntry(batch.file, entry)) {
                Fail("publish refused");
                return;
            }
        }
    }
}

bool Forwarder::PublishEntry(const std::string& file, const LogEntry& entry) {
    // Before the replay's time: passed over, as if the broker had it. Header times compare as
    // text.
    if (m_replayFrom && entry.time < *m_replayFrom) {
        m_inFlight.push_back({0, {file, entry.end}, true, !entry.hex});
        MoveAcked();
        return true;
    }
    m_replayFrom.reset();
    const std::string sender = entry.address + " " + std::to_string(entry.port);
    std::string topic;
    std::string payload;
    if (entry.hex) {
        const std::string key =
            sender == m_lastRecordSender
                ? m_lastRecordKey
                : DeviceKeyOf(m_settings.deviceKey, "", entry.address, entry.port);
        topic = m_settings.topic + "/hex/" + TopicKey(key);
        payload = HexPayload(entry);
    } else {
        m_lastRecordSender = sender;
        m_lastRecordKey = DeviceKeyOf(m_settings.deviceKey, entry.text, entry.address, entry.port);
        topic = m_settings.topic + "/record/" + TopicKey(m_lastRecordKey);
        payload = RecordPayload(entry, m_lastRecordKey);
        if (!PublishDeviceIfDue(m_lastRecordKey)) {
            return false;
        }
    }
    int mid = 0;
    if (!m_connection->Publish(topic, payload, false, mid)) {
        return false;
    }
    m_inFlight.push_back({mid, {file, entry.end}, false, !entry.hex});
    return true;
}

void Forwarder::Subscribe() {
    for (const char* kind : {"/command/+", "/hold/+", "/command-result/+"}) {
        if (!m_connection->Subscribe(m_settings.topic + kind)) {
            Fail("subscribe refused");
            return;
        }
    }
}

// A device's state goes out when it is first heard, then at most every 10 s. The times kept
// are pruned to those still to come: as many as devices heard in the last 10 s.
bool Forwarder::PublishDeviceIfDue(const std::string& key) {
    const Clock::time_point now = Clock::now();
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

bool Forwarder::PublishDevice(const std::string& key) {
    const std::optional<DeviceRow> device = m_device(key);
    int mid = 0;
    return !device || m_connection->Publish(m_settings.topic + "/device/" + TopicKey(key),
                                            DevicePayload(*device), true, mid);
}

void Forwarder::PublishDevicesDue() {
    std::unordered_set<std::string> due;
    {
        const std::lock_guard lock(m_mutex);
        due.swap(m_devicesDue);
    }
    for (const std::string& key : due) {
        m_deviceNext[key] = Clock::now() + kStatusEvery;
        if (!PublishDevice(key)) {
            Fail("publish refused");
            return;
        }
    }
}

bool Forwarder::PublishStatus(std::string_view payload) {
    int mid = 0;
    return m_connection->Publish(m_statusTopic, payload, true, mid);
}

void Forwarder::PublishStatusIfDue() {
    if (Clock::now() < m_nextStatus) {
        return;
    }
    m_nextStatus = Clock::now() + kStatusEvery;
    CounterSnapshot counters;
    {
        const std::lock_guard lock(m_mutex);
        counters = m_counters;
    }
    if (!PublishStatus(OnlinePayload(counters))) {
        Fail("publish refused");
    }
}

void Forwarder::SaveIfMoved() {
    if (m_acked == m_saved) {
        return;
    }
    const int error = SavePosition(m_settings.logFolder, m_acked);
    if (error != m_saveError) {
        Report(error == 0 ? "forwarding position saved again"
                          : "forwarding position not saved in " + m_settings.logFolder + ": " +
                                std::strerror(error));
    }
    m_saveError = error;
    if (error == 0) {
        m_saved = m_acked;
        m_inFlight.erase(m_inFlight.begin(),
                         m_inFlight.begin() + static_cast<std::ptrdiff_t>(m_ackedCount));
        m_ackedCount = 0;
    }
}

}  // namespace tarnwick
