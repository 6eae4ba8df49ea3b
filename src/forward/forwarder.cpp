#include "forward/forwarder.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <memory>
#include <utility>

#include "forward/broker_url.h"
#include "forward/mqtt_connection.h"
#include "forward/payloads.h"
#include "record/control_escapes.h"

namespace tarnwick {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(100);
constexpr int kForwarderNice = 10;
// Retained command topics said, at most: each is said once however often it comes again.
constexpr std::size_t kRetainedTopicsSaid = 10'000;

// Where forwarding goes on from: the replay's day, the saved position, or today's start.
LogPosition StartOf(const ForwardSettings& settings) {
    if (settings.replayFrom) {
        return StartOfDay(*settings.replayFrom);
    }
    return LoadPosition(settings.logFolder).value_or(StartOfToday(SystemLocalTime));
}

// The centre's last will says it is offline; commands, holds and other centres' results come
// in.
LinkSettings LinkSettingsOf(const ForwardSettings& settings) {
    return {BrokerUrlText(settings.url),
            settings.passwordFile,
            StatusTopicOf(settings),
            std::string(kOfflinePayload),
            {settings.topic + "/command/+", settings.topic + "/hold/+",
             settings.topic + "/command-result/+"}};
}

// libmosquitto to the broker of settings, which outlive every connection.
ConnectionMaker MqttConnections(const ForwardSettings& settings) {
    return [&settings](BrokerConnection::Deliver deliver) {
        return std::make_unique<MqttConnection>(settings, std::move(deliver));
    };
}

}  // namespace

Forwarder::Forwarder(ForwardSettings settings, std::function<void()> wake, DeviceLookup device,
                     ConnectionMaker connect, std::function<Moment()> now)
    : m_settings(std::move(settings)),
      m_wake(std::move(wake)),
      m_now(std::move(now)),
      m_ledger(m_settings.holdFor),
      m_link(
          LinkSettingsOf(m_settings), connect ? std::move(connect) : MqttConnections(m_settings),
          *this, [this](std::string line) { Report(std::move(line)); }, [this] { Nudge(); }, m_now),
      m_states(m_settings, std::move(device), m_link, m_now),
      m_cursor(m_settings.logFolder, StartOf(m_settings),
               [this](std::string_view line) {
                   m_backlogStale = true;
                   Report(std::string(line));
               }),
      m_window(m_cursor.Position(), static_cast<std::size_t>(kMaxInFlight)),
      m_replayFrom(m_settings.replayFrom),
      m_resends(m_settings.resendWindow),
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
        const std::lock_guard lock(m_wakeMutex);
        m_woken = true;
    }
    m_changed.notify_one();
}

void Forwarder::SetCounters(const CounterSnapshot& counters) {
    m_states.SetCounters(counters);
}

std::string Forwarder::StateText() {
    m_backlogWanted = true;
    const std::uint64_t behind = m_behind;
    const std::string state = m_link.StateText();
    return behind > static_cast<std::uint64_t>(kMaxInFlight)
               ? state + ", " + GroupedDigits(behind) + " records behind"
               : state;
}

std::vector<std::string> Forwarder::TakeReports() {
    const std::lock_guard lock(m_reportsMutex);
    return std::exchange(m_reports, {});
}

void Forwarder::Report(std::string line) {
    {
        const std::lock_guard lock(m_reportsMutex);
        m_reports.push_back(std::move(line));
    }
    m_wake();
}

std::vector<BrokerCommand> Forwarder::TakeCommands(std::size_t most) {
    return m_ledger.TakeCommands(most);
}

void Forwarder::Ran(const BrokerCommand& command, std::string_view state,
                    std::optional<std::uint64_t> heldId) {
    m_ledger.Ran(command, state, heldId, m_now().wall);
    Nudge();  // its result goes out
}

std::vector<std::uint64_t> Forwarder::TakeSentElsewhere() {
    return m_ledger.TakeSentElsewhere();
}

void Forwarder::DeviceEvents(const std::vector<DeviceEvent>& events) {
    bool results = false;
    for (const DeviceEvent& event : events) {
        switch (event.kind) {
            case DeviceEvent::Kind::Silent:
            case DeviceEvent::Kind::Reporting:
                m_states.DeviceDue(event.key);
                break;
            case DeviceEvent::Kind::Sent:
            case DeviceEvent::Kind::Expired:
            case DeviceEvent::Kind::Cancelled:
            case DeviceEvent::Kind::SendFailed:
                results |=
                    m_ledger.Settled(event.commandId, DeviceEventWord(event.kind), m_now().wall);
                break;
            default:
                break;
        }
    }
    if (results) {
        Nudge();
    }
}

void Forwarder::Run(const std::stop_token& stop) {
    // Answers come first: when the cores are short, the forwarder (and the library's network
    // thread, which inherits this) yields to the receive thread and the log stage, and catches
    // up from the log afterwards. Refused or not, forwarding goes on.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kForwarderNice);
    while (!stop.stop_requested()) {
        {
            std::unique_lock lock(m_wakeMutex);
            m_changed.wait_for(lock, stop, kPoll, [this] { return m_woken; });
            m_woken = false;
        }
        m_link.Serve();
        SaveIfMoved();  // first: what it saves leaves the window for new messages
        CountBacklogIfDue();
        // Each goes out only while the link is up: a refused publish ends the round.
        if (m_link.Up() && m_states.PublishStatusIfDue() && PublishResults() &&
            m_states.PublishDevicesDue()) {
            PublishMore();
        }
    }
    SaveIfMoved();
    m_states.Offline();
    m_link.Close();
}

void Forwarder::Up() {
    m_states.Connected();
}

// The same entries go out again from the acknowledged position once a connection is had.
void Forwarder::Down() {
    m_cursor.Seek(m_window.Rewind());
}

void Forwarder::Acked(int mid) {
    m_backlog.Acked(m_window.Acked(mid));
}

// The broker's messages become commands for the front end: the session is driven there. A
// retained command would run again at every subscription, after each restart of the broker or
// of the centre: it runs never, and is said once.
void Forwarder::Received(const std::string& topic, const std::string& payload, bool retained) {
    const Moment now = m_now();
    if (const auto sent = SentCommandOf(m_settings.topic, topic, payload)) {
        if (m_ledger.Sent(*sent, now.steady)) {
            m_wake();
        }
        return;
    }
    std::optional<BrokerCommand> command = CommandOf(m_settings.topic, topic, payload);
    if (command && retained) {
        if (m_retainedSaid.size() < kRetainedTopicsSaid && m_retainedSaid.insert(topic).second) {
            Report("retained message on " + EscapeControlBytes(topic) +
                   " not run: a command is for once");
        }
        return;
    }
    // A refused or repeated command is answered in this same round of the forwarder's.
    if (command && m_ledger.TakeIn(std::move(*command), now.wall, now.steady)) {
        m_wake();
    }
}

bool Forwarder::PublishResults() {
    std::deque<CommandResult> results = m_ledger.TakeResults();
    for (; !results.empty(); results.pop_front()) {
        const CommandResult& result = results.front();
        if (!m_link.Publish(m_settings.topic + "/command-result/" + result.level, result.payload,
                            false)) {
            m_ledger.ReturnResults(std::move(results));
            return false;
        }
    }
    return true;
}

void Forwarder::PublishMore() {
    for (std::size_t room = m_window.BatchRoom(); room > 0 && m_link.Up(); room = m_window.Room()) {
        const CursorBatch batch = m_cursor.Next(room);
        if (batch.entries.empty()) {
            return;
        }
        for (const LogEntry& entry : batch.entries) {
            if (!PublishEntry(batch.file, entry)) {
                return;
            }
        }
    }
}

bool Forwarder::PublishEntry(const std::string& file, const LogEntry& entry) {
    const std::string key =
        entry.hex ? std::string()
                  : DeviceKeyOf(m_settings.deviceKey, entry.text, entry.address, entry.port);
    // Every record takes its turn in the resend window, those a replay passes over too, so that
    // a replay marks what the first run marked.
    const bool resent =
        !entry.hex && m_resends.Resent({file, entry.end}, key, entry.text, LogSecondOf(entry.time));
    // Before the replay's time: passed over, as if the broker had it. Header times compare as
    // text.
    if (m_replayFrom && entry.time < *m_replayFrom) {
        m_backlog.Acked(m_window.PassedOver({file, entry.end}, !entry.hex));
        return true;
    }
    m_replayFrom.reset();
    const std::string sender = entry.address + " " + std::to_string(entry.port);
    std::string topic;
    std::string payload;
    if (entry.hex) {
        const std::string hexKey =
            sender == m_lastRecordSender
                ? m_lastRecordKey
                : DeviceKeyOf(m_settings.deviceKey, "", entry.address, entry.port);
        topic = m_settings.topic + "/hex/" + TopicKey(hexKey);
        payload = HexPayload(entry);
    } else {
        m_lastRecordSender = sender;
        m_lastRecordKey = key;
        topic = m_settings.topic + "/record/" + TopicKey(m_lastRecordKey);
        payload = RecordPayload(entry, m_lastRecordKey, resent);
        if (!m_states.RecordFrom(m_lastRecordKey)) {
            return false;
        }
        if (resent && m_settings.skipResends) {
            m_backlog.Acked(m_window.PassedOver({file, entry.end}, true));
            return true;
        }
    }
    const std::optional<int> mid = m_link.Publish(topic, payload, false);
    if (mid) {
        m_window.Published(*mid, {file, entry.end}, !entry.hex);
    }
    return mid.has_value();
}

void Forwarder::SaveIfMoved() {
    const std::optional<LogPosition> unsaved = m_window.Unsaved();
    if (!unsaved) {
        return;
    }
    const int error = SavePosition(m_settings.logFolder, *unsaved);
    if (error != m_saveError) {
        Report(error == 0 ? "forwarding position saved again"
                          : "forwarding position not saved in " + m_settings.logFolder + ": " +
                                std::strerror(error));
    }
    m_saveError = error;
    if (error == 0) {
        m_window.Saved();
    }
}

void Forwarder::CountBacklogIfDue() {
    const Clock::time_point now = m_now().steady;
    if (!m_backlogWanted || now < m_nextCount) {
        return;
    }
    m_nextCount = now + std::chrono::seconds(1);
    if (!m_backlog.Started() || m_backlogStale) {
        m_backlog.Restart(m_window.Acknowledged());
        m_backlogStale = false;
    }
    m_backlog.CountNew();
    m_behind = m_backlog.Behind();
}

}  // namespace tarnwick
