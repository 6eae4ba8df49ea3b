#include "forward/forwarder.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <utility>

#include "forward/broker_url.h"
#include "forward/mqtt_connection.h"
#include "forward/payloads.h"
#include "forward/recalled_commands.h"
#include "record/control_escapes.h"
#include "session/resends_at_start.h"

namespace tarnwick {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(100);
constexpr auto kSaveEvery = std::chrono::milliseconds(100);
// Fewer records than this waiting in the log are a moment's work, not worth the notice.
constexpr std::uint64_t kBehindSaid = 256;
constexpr auto kRetrySave = std::chrono::seconds(1);
constexpr int kLowestNice = 19;
// Retained command topics said, at most: each is said once however often it comes again.
constexpr std::size_t kRetainedTopicsSaid = 10'000;

// "YYYY-MM-DD HH:MM:SS", local time, as a wall-clock time; 0 when it is no such time.
std::time_t LogTimeOf(const std::string& logTime) {
    std::tm t{};
    if (std::sscanf(logTime.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &t.tm_year, &t.tm_mon, &t.tm_mday,
                    &t.tm_hour, &t.tm_min, &t.tm_sec) != 6) {
        return 0;
    }
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    t.tm_isdst = -1;
    const std::time_t at = std::mktime(&t);
    return at == -1 ? 0 : at;
}

// Answers come first: the forwarder runs on a processor only while the receive thread and the
// log stage leave it free, and catches up from the log afterwards. At nice 10 it still took a
// share of the cores from them: answers with forwarding were about 0.84 of those without, and
// about 0.9 in the idle class. Starved for long, the broker's keepalive ends the connection,
// and it is made again once the load passes. Refused, the lowest nice does what it can, and
// forwarding goes on either way.
void GiveWayToAnswers() {
    const sched_param none{};
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &none) != 0) {
        (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kLowestNice);
    }
}

struct ForwardStart {
    LogPosition position;
    std::string said;  // for the operator; empty when there is nothing to say
};

// A saved position past the end of the file it names (by identity, or by name alone).
bool PastTheEnd(const DayFiles& files, const LogPosition& position) {
    const std::optional<FileIdentity> named = IdentityOf(files.PathOf(position.file));
    const std::optional<std::uint64_t> size = files.SizeOf(position.file);
    return named && size && (!position.identity.Known() || *named == position.identity) &&
           *size < position.offset;
}

// Where forwarding goes on from: the replay's day, the saved position, or today's start. A
// position that does not read back replays the oldest day's file there is, and on.
ForwardStart StartOf(const ForwardSettings& settings) {
    if (settings.replayFrom) {
        return {StartOfDay(*settings.replayFrom), {}};
    }
    const SavedPosition saved = LoadPosition(settings.logFolder);
    const DayFiles files(settings.logFolder, SystemLocalTime);
    std::string why = saved.why;
    if (saved.state == SavedPosition::State::Read) {
        if (!PastTheEnd(files, saved.position)) {
            return {saved.position, {}};
        }
        why = "past the end of " + files.PathOf(saved.position.file);
    } else if (saved.state == SavedPosition::State::None) {
        return {StartOfToday(SystemLocalTime), {}};
    }
    const std::string first = files.First();
    const LogPosition start = first.empty() ? StartOfToday(SystemLocalTime) : LogPosition{first};
    return {start, "forwarding position " + settings.logFolder + "/" + kPositionFileName +
                       " is corrupt (" + why + "): replaying the log from " +
                       files.PathOf(start.file) + " on"};
}

// The records within the resend window before where forwarding starts are seen first, so that
// a resend whose first copy went out before a restart is marked as the last run would have. The
// window is the start entry's, or now's when the start has none; a replay starts at its day's
// start, and marks from there as the first run did.
void SeedResends(ResendWindow& window, const ForwardSettings& settings, const LogPosition& start) {
    const LocalTime now = SystemLocalTime();
    const std::optional<Day> today = DayOf(now);
    const std::optional<Day> day =
        today ? DayOfName(start.file, kDayLogFamily, *today) : std::nullopt;
    const LogSecond at = !start.entryTime.empty() ? LogSecondOf(start.entryTime)
                         : now                    ? LogSecondOf(*now)
                                                  : std::nullopt;
    if (settings.replayFrom || !day || !at) {
        return;
    }
    SeedResendWindow(window, settings.resendWindow, settings.deviceKey,
                     {.folder = settings.logFolder + "/",
                      .day = *day,
                      .today = *today,
                      .end = start.offset,
                      .at = *at});
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
      m_cursor(m_settings.logFolder, {},
               [this](std::string_view line) {
                   m_backlogStale = true;
                   Report(std::string(line));
               }),
      m_window({}, static_cast<std::size_t>(kMaxInFlight)),
      m_replayFrom(m_settings.replayFrom),
      m_resends(m_settings.resendWindow),
      m_backlog(m_settings.logFolder) {
    ForwardStart start = StartOf(m_settings);
    m_cursor.Seek(start.position);
    SeedResends(m_resends.Window(), m_settings, start.position);
    m_window = PublishWindow(start.position, static_cast<std::size_t>(kMaxInFlight));
    m_savedOnDisk = std::move(start.position);
    m_startSaid = std::move(start.said);
    RecallBrokerCommands(m_ledger, m_settings, m_now());
}

void Forwarder::Start() {
    if (!m_startSaid.empty()) {
        Report(std::exchange(m_startSaid, {}));
    }
    m_thread = std::jthread([this](const std::stop_token& stop) { Run(stop); });
}

void Forwarder::Stop() {
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
}

void Forwarder::Nudge() {
    m_wakeSignal.Signal();
}

void Forwarder::SetCounters(const CounterSnapshot& counters) {
    m_states.SetCounters(counters);
}

std::string Forwarder::StateText() {
    const std::uint64_t behind = m_behind;
    const std::uint64_t resend = m_notSavedResend;
    std::string state = m_link.StateText();
    if (behind > kBehindSaid) {
        state += ", " + GroupedDigits(behind) + " records behind";
    }
    if (resend > 0) {
        state +=
            "; position not saved: a restart sends " + GroupedDigits(resend) + " records again";
    }
    return state;
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

std::vector<BrokerCommand> Forwarder::TakeRefused() {
    return m_ledger.TakeRefused();
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
    GiveWayToAnswers();
    const std::stop_callback wakeToStop(stop, [this] { m_wakeSignal.Signal(); });
    while (!stop.stop_requested()) {
        m_wakeSignal.Wait(m_link.Socket(), kPoll);
        m_link.Serve();
        WatchAnswers();
        SaveIfMoved(false);  // first: what it saves leaves the window for new messages
        CountBacklogIfDue();
        // Each goes out only while the link is up: a refused publish ends the round.
        if (m_link.Up() && m_states.PublishStatusIfDue() && PublishResults() &&
            m_states.PublishDevicesDue()) {
            PublishMore();
        }
    }
    SaveIfMoved(true);
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
    const std::size_t records = m_window.Acked(mid);
    m_backlog.Acked(records);
    m_sentAgainAtRestart += records;
    m_answerDue = m_now().steady + kNoAnswer;
}

void Forwarder::WatchAnswers() {
    if (!m_link.Up() || m_window.InFlight() == 0) {
        m_answerDue = {};
        return;
    }
    const Clock::time_point now = m_now().steady;
    if (m_answerDue == Clock::time_point{}) {
        m_answerDue = now + kNoAnswer;
    } else if (now >= m_answerDue) {
        m_link.Fail("no answer from the broker for " + std::to_string(kNoAnswer.count()) + " s");
    }
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
            if (!PublishEntry(batch, entry)) {
                return;
            }
        }
    }
}

bool Forwarder::PublishEntry(const CursorBatch& batch, const LogEntry& entry) {
    const std::string key =
        entry.hex ? std::string()
                  : DeviceKeyOf(m_settings.deviceKey, entry.text, entry.address, entry.port);
    // Every record takes its turn in the resend window, those a replay passes over too, so that
    // a replay marks what the first run marked.
    const bool resent = !entry.hex && m_resends.Resent(PositionAfter(batch, entry), key, entry.text,
                                                       LogSecondOf(entry.time));
    // Before the replay's time: passed over, as if the broker had it. Header times compare as
    // text.
    if (m_replayFrom && entry.time < *m_replayFrom) {
        m_backlog.Acked(m_window.PassedOver(PositionAfter(batch, entry), !entry.hex));
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
            m_backlog.Acked(m_window.PassedOver(PositionAfter(batch, entry), true));
            return true;
        }
    }
    const std::optional<int> mid = m_link.Publish(topic, payload, false);
    if (mid) {
        m_window.Published(*mid, PositionAfter(batch, entry), !entry.hex);
    }
    return mid.has_value();
}

// Each save is flushed, file and folder: saved when half the window waits for it, when nothing
// is in flight, a tenth of a second after the last, and at the stop. A position that cannot be
// saved is held in memory, and forwarding goes on; saving is tried again once a second.
void Forwarder::SaveIfMoved(bool now) {
    const std::optional<LogPosition> unsaved = m_window.Unsaved();
    if (!unsaved || (!now && !SaveDue(m_now().steady))) {
        return;
    }
    m_lastSave = m_now().steady;
    Saved(SavePosition(m_settings.logFolder, *unsaved));
    m_window.Saved();
}

bool Forwarder::SaveDue(Clock::time_point now) const {
    if (m_saveError != 0) {
        return now >= m_lastSave + kRetrySave;
    }
    return m_window.InFlight() == 0 || m_window.AckedCount() >= m_window.Capacity() / 2 ||
           now >= m_lastSave + kSaveEvery;
}

void Forwarder::Saved(int error) {
    if (error == 0) {
        m_savedOnDisk = m_window.Acknowledged();
        m_sentAgainAtRestart = 0;
    }
    if (error != m_saveError) {
        m_saveError = error;
        Report(error == 0
                   ? "forwarding position saved again in " + m_settings.logFolder
                   : "forwarding position not saved in " + m_settings.logFolder + ": " +
                         std::strerror(error) +
                         "; forwarding goes on, a restart would send again what followed " +
                         m_savedOnDisk.file + " byte " + std::to_string(m_savedOnDisk.offset));
        UpdateForwardState();
        m_states.StatusNow();
    }
    m_notSavedResend = error == 0 ? 0 : m_sentAgainAtRestart;
}

void Forwarder::CountBacklogIfDue() {
    const Clock::time_point now = m_now().steady;
    if (now < m_nextCount) {
        return;
    }
    m_nextCount = now + std::chrono::seconds(1);
    if (!m_backlog.Started() || m_backlogStale) {
        m_backlog.Restart(m_window.Acknowledged());
        m_backlogStale = false;
    }
    m_backlog.CountNew();
    m_behind = m_backlog.Behind();
    UpdateForwardState();
}

// The status topic's view of forwarding: the backlog, how old its oldest record is, and
// whether the position is saved.
void Forwarder::UpdateForwardState() {
    const std::uint64_t behind = m_behind;
    // Before anything is acknowledged the position may know no entry: the backlog is then as
    // old as its first record.
    const LogPosition& acked = m_window.Acknowledged();
    const std::time_t ackedAt =
        LogTimeOf(acked.entryTime.empty() ? m_backlog.FirstCountedTime() : acked.entryTime);
    const std::time_t wall = m_now().wall;
    m_behindSeconds = behind > 0 && ackedAt > 0 && wall > ackedAt
                          ? static_cast<std::uint64_t>(wall - ackedAt)
                          : 0;
    m_states.SetForward({.backlogRecords = behind,
                         .backlogSeconds = m_behindSeconds,
                         .positionError = m_saveError == 0 ? "" : std::strerror(m_saveError),
                         .sentAgainAtRestart = m_sentAgainAtRestart});
}

}  // namespace tarnwick
