#pragma once

// Every answered record to the broker, from the daily log: its own thread reads whole entries
// from the acknowledged position on, publishes them with QoS 1 in log order, and moves the
// saved position only as the broker acknowledges them. A broker that is slow, absent or
// hostile only makes the forwarder fall behind: the backlog is the log on the disk.
//
// The front end owns it: it takes the reports (to show or print them on its own thread) and
// nudges the forwarder when records were logged. The work is the parts': the publish window,
// the broker link, the state publisher and the command ledger; the forwarder runs them on its
// thread and wakes it.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "forward/backlog_count.h"
#include "forward/broker_connection.h"
#include "forward/broker_link.h"
#include "forward/command_ledger.h"
#include "forward/command_messages.h"
#include "forward/forward_position.h"
#include "forward/forward_settings.h"
#include "forward/publish_window.h"
#include "forward/resend_marks.h"
#include "forward/state_publisher.h"
#include "forward/wake_signal.h"
#include "log/log_cursor.h"
#include "session/counters.h"
#include "session/device_table.h"
#include "session/moment.h"

namespace tarnwick {

class Forwarder final : private LinkListener {
public:
    using DeviceLookup = StatePublisher::DeviceLookup;

    // wake runs on the forwarder's thread when there is something for TakeReports,
    // TakeCommands or TakeSentElsewhere. connect: libmosquitto to settings.url when empty; now:
    // the clock of every delay.
    Forwarder(ForwardSettings settings, std::function<void()> wake, DeviceLookup device,
              ConnectionMaker connect = {}, std::function<Moment()> now = Moment::Now);
    Forwarder(const Forwarder&) = delete;
    Forwarder& operator=(const Forwarder&) = delete;
    ~Forwarder() override { Stop(); }

    void Start();
    [[nodiscard]] bool OneOfSeveral() const { return m_settings.oneOfSeveral; }
    // Saves the acknowledged position and closes the connection; what is not yet acknowledged
    // goes out again at the next start.
    void Stop();

    // Any thread: records were logged, look now rather than at the next poll.
    void Nudge();
    // The front end's counters, for PREFIX/status.
    void SetCounters(const CounterSnapshot& counters);
    void SetLogSpace(const LogSpace& space) { m_states.SetLogSpace(space); }

    // The front end's thread: the commands that came through the broker, to be run there.
    // At most most, oldest first; MoreCommands: others wait.
    [[nodiscard]] std::vector<BrokerCommand> TakeCommands(std::size_t most);
    [[nodiscard]] bool MoreCommands() { return m_ledger.More(); }
    // What became of one TakeCommands gave (ResultState), for PREFIX/command-result/KEY;
    // heldId: the device table's id when it was held, whose later states come as device events.
    void Ran(const BrokerCommand& command, std::string_view state,
             std::optional<std::uint64_t> heldId);
    // The front end's thread: held commands (the device table's ids) that another centre on the
    // broker has delivered, to be dropped here.
    [[nodiscard]] std::vector<std::uint64_t> TakeSentElsewhere();
    // The front end's thread: commands refused on arrival, for the record (CommandLedger's).
    [[nodiscard]] std::vector<BrokerCommand> TakeRefused();
    // The device table's events, as the front end takes them.
    void DeviceEvents(const std::vector<DeviceEvent>& events);
    // The front end's thread: what the operator should hear since the last call.
    [[nodiscard]] std::vector<std::string> TakeReports();
    // "MQTT broker connected", "MQTT broker down since HH:MM:SS" or, before the first
    // connection, "MQTT broker: connecting", then ", N records behind" while more than 256
    // records wait in the log, and "; position not saved: a restart sends N records
    // again" while it cannot be saved: the window's notice.
    [[nodiscard]] std::string StateText();
    // Any thread: records logged and not yet acknowledged, as last counted.
    [[nodiscard]] std::uint64_t Behind() const { return m_behind; }
    // Any thread: how long ago the last acknowledged record was logged, while records wait.
    [[nodiscard]] std::uint64_t BehindSeconds() const { return m_behindSeconds; }

private:
    using Clock = std::chrono::steady_clock;

    void Run(const std::stop_token& stop);
    void Up() override;
    void Down() override;
    void Acked(int mid) override;
    void Received(const std::string& topic, const std::string& payload, bool retained) override;
    void PublishMore();
    bool PublishEntry(const CursorBatch& batch, const LogEntry& entry);
    bool PublishResults();
    // The broker that acknowledges nothing for kNoAnswer while messages wait is given up.
    void WatchAnswers();
    void SaveIfMoved(bool now);
    [[nodiscard]] bool SaveDue(Clock::time_point now) const;
    void Saved(int error);
    void CountBacklogIfDue();
    void UpdateForwardState();
    void Report(std::string line);

    // Constant from construction on; used by any thread.
    const ForwardSettings m_settings;
    const std::function<void()> m_wake;
    const std::function<Moment()> m_now;

    // Signalled by any thread (the front end's Nudge and Ran, the connection's through the
    // link), and waited for by the forwarder's, with the connection's socket; it also looks at
    // every poll.
    WakeSignal m_wakeSignal;

    // Written by the forwarder's thread, taken by the front end's: under m_reportsMutex.
    std::mutex m_reportsMutex;
    std::vector<std::string> m_reports;

    // Each part guards with its own lock what other threads reach: the ledger all of it (the
    // front end's thread and the forwarder's), the link its event queue (the connection's
    // thread) and its state text (the front end's), the state publisher the counters and the
    // devices due (the front end's). The rest of each is the forwarder's thread's alone.
    CommandLedger m_ledger;
    BrokerLink m_link;
    StatePublisher m_states;

    // The forwarder's thread alone.
    std::string m_startSaid;  // what the operator hears of where forwarding starts
    LogCursor m_cursor;
    PublishWindow m_window;
    int m_saveError = 0;                     // the last save's, reported when it changes
    LogPosition m_savedOnDisk;               // where a restart would go on from
    std::uint64_t m_sentAgainAtRestart = 0;  // records acknowledged since it was saved
    Clock::time_point m_lastSave{};
    Clock::time_point m_answerDue{};          // while messages are in flight
    std::optional<std::string> m_replayFrom;  // until the first entry from then on
    std::string m_lastRecordSender;           // "ADDR PORT" of the last record published
    std::string m_lastRecordKey;              // and its key, for the hex entry after it
    ResendMarks m_resends;
    std::unordered_set<std::string> m_retainedSaid;  // retained command topics said
    BacklogCount m_backlog;
    bool m_backlogStale = false;  // the cursor passed over a file: count afresh
    Clock::time_point m_nextCount{};

    // Written by the forwarder's thread, read by the front end's.
    std::atomic<std::uint64_t> m_behind{0};
    std::atomic<std::uint64_t> m_behindSeconds{0};
    std::atomic<std::uint64_t> m_notSavedResend{0};  // records; 0 while the position is saved

    std::jthread m_thread;  // last: stopped and joined first
};

}  // namespace tarnwick
