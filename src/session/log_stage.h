#pragma once

// The thread between the receive thread and the front end. It takes what the receive thread
// queued, writes the log entries of each batch in one append per file, answers "@517" only for
// records whose entry was written (and no sooner than 1 ms after they arrived), then hands
// every record on to the front end. Nothing outside the process can hold it past a stop: a
// lock another program keeps is waited for only until then.

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "log/daily_log.h"
#include "log/log_health.h"
#include "record/handled_record.h"
#include "session/counters.h"
#include "session/datagram_intake.h"
#include "session/device_table.h"
#include "session/ordered_queue.h"
#include "session/resend_window.h"

namespace tarnwick {

using OutputQueue = OrderedQueue<HandledRecord>;

// What shows a watcher (a service manager's watchdog) that the log stage goes round: beat runs
// on the stage's thread before each wait for records, and the wait lasts `every` at most. A
// stage held up, by another program's lock on the log file say, stops beating.
struct Heartbeat {
    std::function<void()> beat;  // none: the stage waits for records as long as it takes
    std::chrono::milliseconds every{};
};

class LogStage {
public:
    // How long a stop waits for another program's lock before the entries count as not logged.
    static constexpr auto kLockGraceAtStop = std::chrono::milliseconds(50);
    // How long entries wait for another program's lock before the wait is reported.
    static constexpr auto kLockWaitReported = std::chrono::seconds(1);

    LogStage(std::string logFile, LocalClock clock, bool sync, EngineCounters& counters,
             DeviceTable& devices, OutputQueue& output, Heartbeat heartbeat = {});
    LogStage(const LogStage&) = delete;
    LogStage& operator=(const LogStage&) = delete;
    ~LogStage();

    // Starts the thread that serves intake and answers through socket until Stop().
    void Start(int socket, IntakeQueue& intake);
    // Logs and answers whatever is still queued, then joins the thread. The receive thread
    // must be stopped first.
    void Stop();

    // Any thread: where the next entries go, and where they went.
    void SetLogFile(std::string path);
    [[nodiscard]] std::string LogFile() const;
    // The log's failure or wait, while there is one; empty otherwise.
    [[nodiscard]] std::string Status() const;

private:
    void Run(int socket, IntakeQueue& intake, std::stop_token stop);
    void WaitForIntake(IntakeQueue& intake, std::vector<RecvHandOff>& batch, std::stop_token stop);
    void Handle(std::vector<RecvHandOff>& batch, int socket);
    // The batch's entries: one m_handled item per record.
    void WriteEntries(const std::vector<RecvHandOff>& batch);
    void Answer(const std::vector<RecvHandOff>& batch, int socket);
    // Tells the device table who reported, and takes what was held for them.
    void NoteDevices(const std::vector<RecvHandOff>& batch, int socket);
    // A logged record's turn in the resend window, stamped as its entry's header; counted.
    bool IsResend(const RecvHandOff& record, const LocalTime& stamp);
    // Sends what NoteDevices took, each to where its device's record came from.
    void SendHeld(int socket);
    bool KeepWaitingForLock(const std::string& path);
    void Publish();

    DailyLog m_log;
    LogHealth m_health;
    EngineCounters& m_counters;
    DeviceTable& m_devices;
    OutputQueue& m_output;
    Heartbeat m_heartbeat;

    mutable std::mutex m_shared;  // guards the three below
    std::optional<std::string> m_requestedLogFile;
    std::string m_publishedLogFile;
    std::string m_publishedStatus;

    std::atomic<std::chrono::steady_clock::time_point> m_giveUpLockAt{
        std::chrono::steady_clock::time_point::max()};
    std::optional<std::chrono::steady_clock::time_point> m_lockWaitSince;
    std::stop_token m_stop;                // the thread's own, for its pushes to the front end
    std::vector<HandledRecord> m_handled;  // reused by every batch
    std::vector<std::string_view> m_texts;
    ResendWindow m_resends;
    std::vector<PeerAddress> m_answers;
    std::vector<std::chrono::steady_clock::time_point> m_answersDue;  // one per m_answers
    std::vector<std::pair<PeerAddress, HeldCommand>> m_held;
    std::jthread m_thread;
};

}  // namespace tarnwick
