#include "session/log_stage.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <span>
#include <utility>

#include "net/reply_sender.h"
#include "session/resends_at_start.h"

namespace tarnwick {
namespace {

constexpr auto kReplyDelay = std::chrono::milliseconds(1);
// One sendmmsg's worth of answers, as SendReplies sends them.
constexpr std::size_t kAnswersPerSend = 64;

}  // namespace

LogStage::LogStage(std::string logFile, LocalClock clock, bool sync, EngineCounters& counters,
                   DeviceTable& devices, OutputQueue& output, Heartbeat heartbeat)
    : m_log(logFile, clock,
            {sync, [this](const std::string& path) { return KeepWaitingForLock(path); }}),
      m_counters(counters),
      m_devices(devices),
      m_output(output),
      m_heartbeat(std::move(heartbeat)),
      m_publishedLogFile(std::move(logFile)),
      m_resends(devices.Settings().resendWindow) {
    SeedResendWindow(m_resends, devices.Settings().resendWindow, devices.Settings().key,
                     m_publishedLogFile, clock());
}

LogStage::~LogStage() {
    Stop();
}

void LogStage::Start(int socket, IntakeQueue& intake) {
    m_thread = std::jthread(
        [this, socket, &intake](std::stop_token stop) { Run(socket, intake, std::move(stop)); });
}

void LogStage::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    m_giveUpLockAt = std::chrono::steady_clock::now() + kLockGraceAtStop;
    m_thread.request_stop();
    m_thread.join();
    m_giveUpLockAt = std::chrono::steady_clock::time_point::max();
}

void LogStage::SetLogFile(std::string path) {
    std::lock_guard lock(m_shared);
    m_publishedLogFile = path;
    m_requestedLogFile = std::move(path);
}

std::string LogStage::LogFile() const {
    std::lock_guard lock(m_shared);
    return m_publishedLogFile;
}

std::string LogStage::Status() const {
    std::lock_guard lock(m_shared);
    return m_publishedStatus;
}

void LogStage::Run(int socket, IntakeQueue& intake, std::stop_token stop) {
    m_stop = stop;
    std::vector<RecvHandOff> batch;
    while (!stop.stop_requested()) {
        WaitForIntake(intake, batch, stop);
        Handle(batch, socket);
    }
    // What the receive thread took in before it stopped is logged and answered all the same.
    intake.DrainInto(batch);
    Handle(batch, socket);
}

void LogStage::WaitForIntake(IntakeQueue& intake, std::vector<RecvHandOff>& batch,
                             std::stop_token stop) {
    if (!m_heartbeat.beat) {
        intake.WaitAndDrainInto(batch, stop);
        return;
    }
    m_heartbeat.beat();
    intake.WaitAndDrainInto(batch, stop, std::chrono::steady_clock::now() + m_heartbeat.every);
}

void LogStage::Handle(std::vector<RecvHandOff>& batch, int socket) {
    if (batch.empty()) {
        return;
    }
    {
        std::lock_guard lock(m_shared);
        if (m_requestedLogFile) {
            m_log.SetLogFile(std::move(*m_requestedLogFile));
            m_requestedLogFile.reset();
        }
    }
    m_handled.clear();
    WriteEntries(batch);
    NoteDevices(batch, socket);
    Answer(batch, socket);
    SendHeld(socket);
    Publish();
    for (std::size_t i = 0; i < batch.size(); ++i) {
        m_handled[i].record = std::move(batch[i]);
    }
    m_output.PushAll(m_handled, m_stop);
    batch.clear();
}

void LogStage::WriteEntries(const std::vector<RecvHandOff>& batch) {
    m_texts.clear();
    for (const RecvHandOff& record : batch) {
        m_texts.push_back(record.text);
    }
    const std::vector<LogWriteResult> results = m_log.AppendAll(m_texts);
    const auto written = std::chrono::steady_clock::now();
    for (const LogWriteResult& result : results) {
        Bump(result.ok() ? m_counters.logged : m_counters.notLogged, result.entries);
        std::optional<std::string> report = m_health.Record(result);
        for (std::size_t k = 0; k < result.entries; ++k) {
            if (result.ok()) {
                m_counters.logWrite.Add(written - batch[m_handled.size()].arrived);
            }
            m_handled.push_back({std::nullopt, result.ok(), std::exchange(report, {})});
        }
    }
    m_lockWaitSince.reset();
}

void LogStage::Answer(const std::vector<RecvHandOff>& batch, int socket) {
    m_answers.clear();
    m_answersDue.clear();
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (!batch[i].answer) {
            continue;
        }
        if (!m_handled[i].logged) {
            Bump(m_counters.notAnswered);
            continue;
        }
        m_answers.push_back(batch[i].from);
        m_answersDue.push_back(batch[i].arrived + kReplyDelay);
    }
    // In arrival order, each no sooner than its delay after its record arrived, but the
    // batch's first answers do not wait for its last record's delay. A wait is for a whole
    // send's worth of answers to be due, so waiting costs no more system calls than sending.
    for (std::size_t sent = 0; sent < m_answers.size();) {
        std::size_t due = std::min(sent + kAnswersPerSend, m_answers.size());
        std::this_thread::sleep_until(m_answersDue[due - 1]);
        const auto now = std::chrono::steady_clock::now();
        while (due < m_answers.size() && m_answersDue[due] <= now) {
            ++due;
        }
        const std::span<const PeerAddress> answers(m_answers);
        Bump(m_counters.replies, SendReplies(socket, answers.subspan(sent, due - sent)));
        sent = due;
    }
}

void LogStage::NoteDevices(const std::vector<RecvHandOff>& batch, int socket) {
    m_held.clear();
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const RecvHandOff& record = batch[i];
        if (record.kind != HandOffKind::Text) {
            continue;
        }
        const bool resent = m_handled[i].logged && IsResend(record, m_log.Stamps()[i]);
        const socket_info sender{socket, record.from, record.listener};
        for (HeldCommand& command : m_devices.Heard(record.text, record.Body(), sender,
                                                    {record.arrived, record.receivedAt}, resent)) {
            m_held.push_back({record.from, std::move(command)});
        }
    }
}

bool LogStage::IsResend(const RecvHandOff& record, const LocalTime& stamp) {
    const std::string key = DeviceKeyOf(m_devices.Settings().key, record.Body(), record.from.Text(),
                                        record.from.Port());
    const bool resent =
        m_resends.Seen(key, record.Body(), stamp ? LogSecondOf(*stamp) : std::nullopt);
    Bump(m_counters.resent, resent ? 1U : 0U);
    return resent;
}

void LogStage::SendHeld(int socket) {
    // Never twice: a command is on record as being sent before it leaves, so a centre killed
    // now settles it as unknown at its next start instead of sending it again.
    if (!m_held.empty()) {
        m_devices.WriteRecord();
    }
    for (const auto& [to, command] : m_held) {
        const auto sent = sendto(socket, command.datagram.data(), command.datagram.size(), 0,
                                 to.Sockaddr(), to.Length());
        m_devices.Delivered(command, sent < 0 ? errno : 0);
    }
}

bool LogStage::KeepWaitingForLock(const std::string& path) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= m_giveUpLockAt.load()) {
        return false;
    }
    if (!m_lockWaitSince) {
        m_lockWaitSince = now;
    } else if (now - *m_lockWaitSince >= kLockWaitReported) {
        if (auto report = m_health.Waiting(path)) {
            Publish();
            m_output.Push({std::nullopt, false, std::move(report)}, m_stop);
        }
    }
    return true;
}

void LogStage::Publish() {
    std::lock_guard lock(m_shared);
    m_publishedLogFile = m_log.LogFile();
    m_publishedStatus = m_health.StatusText();
}

}  // namespace tarnwick
