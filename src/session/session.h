#pragma once

// The receiving session: everything between the UDP port and a front end (the window, the
// headless mode, the benchmark). It owns the listener, the receive thread, the log stage with
// its answers, the client list, the counters and the device table, and hands every record, in
// arrival order, to the one front end attached to it. A datagram's road: the receive thread
// reads it, the intake sorts it and makes its hand-off (DatagramIntake), the log stage writes
// its entry and only then answers it (LogStage), the front end drains it (DrainInto) to show or
// print it.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "log/time_text.h"
#include "net/client_list.h"
#include "net/receive_thread.h"
#include "net/udp_listener.h"
#include "record/handled_record.h"
#include "session/counters.h"
#include "session/datagram_intake.h"
#include "session/device_table.h"
#include "session/log_stage.h"
#include "session/moment.h"
#include "session/rate_history.h"

namespace tarnwick {

struct SessionConfig {
    std::string logFile;                 // folder + LogFileName
    LocalClock clock = SystemLocalTime;  // the log's clock
    bool sync = false;                   // --sync: entries reach the disk before answers leave
    std::function<void()> wake;          // runs when records are ready for DrainInto
    bool autoReply = false;              // "Automatic reply with @517" ticked at the start
    bool displayHex = false;             // " Hex" ticked at the start
    std::size_t capacity = OrderedQueue<RecvHandOff>::kDefaultCapacity;
    DeviceSettings devices;
    std::function<Moment()> now = Moment::Now;  // the device table's clock
    // The command journal's, for how long held commands wait across restarts.
    std::function<HoldClock()> holdClock = SystemHoldClock;
    Heartbeat heartbeat;  // the log stage's, for a watchdog
};

struct ListenResult {
    ListenError error = ListenError::None;
    int errorCode = 0;  // errno of the failed step
    [[nodiscard]] bool ok() const { return error == ListenError::None; }
};

struct SendResult {
    enum class Status { Sent, Failed };
    Status status = Status::Sent;
    int errorCode = 0;  // errno when Failed
};

class Session {
public:
    explicit Session(SessionConfig config);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    // Opening: the socket on port (0: the system chooses), on only or on every local address,
    // then the two threads.
    ListenResult Listen(std::uint16_t port, const std::optional<PeerAddress>& only = std::nullopt,
                        PortSharing sharing = PortSharing::Alone,
                        Families families = Families::Both);
    // Stops reception, logs and answers what was taken in, then closes the socket. What was
    // handled stays queued for DrainInto.
    void Close();

    [[nodiscard]] bool IsListening() const { return m_listener.has_value(); }
    [[nodiscard]] std::uint16_t Port() const;
    // Where the listener listens; port 0 while closed.
    [[nodiscard]] ListenPlace Place() const;
    [[nodiscard]] int ReceiveBufferBytes() const;

    void SetAutoReply(bool ticked) { m_switches.autoReply.store(ticked); }
    void SetDisplayHex(bool ticked) { m_switches.displayHex.store(ticked); }

    // The command journal follows the log to its folder.
    void SetLogFile(std::string path);
    [[nodiscard]] std::string LogFile() const { return m_logStage.LogFile(); }
    // Why the log is not being written, while it is not; empty otherwise.
    [[nodiscard]] std::string LogStatus() const { return m_logStage.Status(); }

    // On the front end's thread: everything handled so far, in arrival order.
    void DrainInto(std::vector<HandledRecord>& out) { m_output.DrainInto(out); }

    // One command to client through the listener it came in on, counted for the device there;
    // text: the command as the operator typed it, source: who gave it. It goes on record once
    // the socket took it or refused it (after its sendto: a command sent now is never sent
    // again, at a restart or otherwise). A client whose listener has been closed since gets
    // nothing (EBADF), and no socket is touched.
    SendResult SendToClient(const socket_info& client, std::span<const std::uint8_t> datagram,
                            std::string_view text, std::string_view source = kFromWindow);
    // The command journal, in the log folder.
    [[nodiscard]] CommandJournal& Journal() { return m_journal; }

    [[nodiscard]] const ClientList& Clients() const { return m_clients; }
    // The devices heard, and the commands held for their next report. Held commands leave
    // right after the answer to their device's next accepted record, to where it came from;
    // the session ticks the table once a second, from its first Listen to its end.
    [[nodiscard]] DeviceTable& Devices() { return m_devices; }
    [[nodiscard]] const DeviceTable& Devices() const { return m_devices; }
    // Any thread: the counters as of now, the kernel's drops read from the socket itself.
    [[nodiscard]] CounterSnapshot Counters() const;
    [[nodiscard]] WriteLatency::Snapshot LogWriteLatency() const {
        return m_counters.logWrite.Read();
    }
    // Any thread: records and drops a second, sampled with the device table's tick from the
    // first Listen on, on the session's steady clock.
    [[nodiscard]] const RateHistory& Rates() const { return m_rates; }

    // The device table's clock, as the session was given it.
    [[nodiscard]] Moment Now() const { return m_now(); }

private:
    ListenResult NotStarted(int errorCode);
    // Starts the device table's upkeep once; false when no thread could be had.
    bool StartUpkeep(int& error);
    void Upkeep(std::stop_token stop);
    void SampleRates(const Moment& now);

    ReceiveSwitches m_switches;
    ClientList m_clients;
    EngineCounters m_counters;
    RateHistory m_rates;
    std::uint64_t m_kernelDropsBefore = 0;  // of the listeners closed since the start
    CommandJournal m_journal;               // before the device table, which writes to it
    DeviceTable m_devices;
    OutputQueue m_output;
    IntakeQueue m_intake;
    DatagramIntake m_datagrams;
    LogStage m_logStage;
    // Changed by the front end's thread alone; the lock is for Counters on other threads.
    mutable std::mutex m_listenerGuard;
    std::optional<UdpListener> m_listener;
    std::unique_ptr<ReceiveThread> m_thread;
    std::uint64_t m_listenerId = 0;
    std::function<Moment()> m_now;
    std::jthread m_upkeep;  // last: stopped and joined first
};

}  // namespace tarnwick
