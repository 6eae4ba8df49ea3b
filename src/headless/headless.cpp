#include "headless/headless.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/session_options.h"
#include "app/stop_signals.h"
#include "forward/forwarder.h"
#include "forward/run_broker_commands.h"
#include "headless/headless_devices.h"
#include "headless/line_splitter.h"
#include "headless/nonblocking_output.h"
#include "headless/stdin_command.h"
#include "health/service_notifier.h"
#include "log/append_file.h"
#include "log/log_folder.h"
#include "metrics/metrics_page.h"
#include "metrics/metrics_server.h"
#include "session/session.h"

namespace tarnwick {
namespace {

// How long a stop gives standard output and error to take what is still buffered.
constexpr int kFlushAtStopMs = 50;

// A service manager's watchdog watches the log stage: the stage answers, so a stage that stops
// going round is a centre that has stopped answering.
SessionConfig Watched(SessionConfig config, ServiceNotifier& notifier) {
    if (const auto every = notifier.BeatEvery()) {
        config.heartbeat = {[&notifier] { notifier.Beat(); }, *every};
    }
    return config;
}

class HeadlessCentre {
public:
    HeadlessCentre(const Options& options, int signalFd)
        : m_options(options),
          m_signalFd(signalFd),
          m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
          m_session(Watched(SessionConfigOf(options, [this] { Wake(); }), m_notifier)),
          m_devices(m_session, options, [this](std::string_view line) { Report(line); }) {}
    HeadlessCentre(const HeadlessCentre&) = delete;
    HeadlessCentre& operator=(const HeadlessCentre&) = delete;
    ~HeadlessCentre() {
        m_forwarder.reset();  // its thread wakes through m_wakeFd
        close(m_wakeFd);
    }

    int Run() {
        const bool started = Start();
        while (started && WaitAndServe()) {
        }
        if (started) {
            Stop();
        }
        FlushWithin(m_stderr, kFlushAtStopMs);
        return started ? 0 : 1;
    }

private:
    // Plain lines on standard error, no colours, each with the program's name: what a service
    // manager's journal shows well, line by line. The window's message texts break lines with
    // CR LF.
    void Report(std::string_view message) {
        for (auto end = message.find('\n');; end = message.find('\n')) {
            std::string_view line = message.substr(0, end);
            if (line.ends_with('\r')) {
                line.remove_suffix(1);
            }
            m_stderr.WriteLine("tarnwick: " + std::string(line));
            if (end == std::string_view::npos) {
                break;
            }
            message.remove_prefix(end + 1);
        }
        m_stderr.Flush();
    }

    bool Start() {
        if (!m_options.port) {
            Report("no port to listen on: give --port PORT");
            return false;
        }
        const ListenResult result =
            m_session.Listen(*m_options.port, m_options.bind, SharingOf(m_options));
        if (!result.ok()) {
            Report(ListenFailure(result));
            return false;
        }
        Report("listening on UDP port " + std::to_string(m_session.Port()));
        if (const std::string reach = ReachNotice(m_session.Place()); !reach.empty()) {
            Report(reach);
        }
        Report("receive buffer " + std::to_string(m_session.ReceiveBufferBytes()) +
               " bytes; logging to " + m_session.LogFile());
        if (m_options.metrics && !StartMetrics(*m_options.metrics)) {
            return false;
        }
        m_notifier.Start({[folder = LogFolderOf(m_options)] { return PrepareFolder(folder) == 0; },
                          [this] { return ServiceStatus(); }});
        if (m_options.mqtt) {
            m_forwarder = std::make_unique<Forwarder>(
                ForwardSettingsOf(m_options, m_session.Port()), [this] { Wake(); },
                [this](const std::string& key) {
                    return m_session.Devices().Device(key, m_session.Now());
                });
            m_forwarder->Start();
            m_devices.SetEventSink([this](const std::vector<DeviceEvent>& events) {
                m_forwarder->DeviceEvents(events);
            });
        }
        return true;
    }

    // A chosen address that cannot be bound is most often not this machine's: it is named.
    std::string ListenFailure(const ListenResult& result) const {
        const std::string reason = strerror(result.errorCode);
        if (m_options.bind && result.error == ListenError::Bind) {
            return "cannot listen on " + m_options.bind->Text() + ": " + reason;
        }
        return std::string(ListenErrorMessage(result.error)) + " (" + reason + ")";
    }

    bool StartMetrics(const MetricsEndpoint& at) {
        auto started = MetricsServer::Start(at.address, at.port,
                                            [this] { return MetricsPage(FiguresOf(m_session)); });
        if (!started.server) {
            Report("cannot serve metrics on " + at.address + " port " + std::to_string(at.port) +
                   " (" + strerror(started.error) + ")");
            return false;
        }
        m_metrics = std::move(started.server);
        Report("metrics on " + m_metrics->Url());
        return true;
    }

    // "listening on UDP port 5000; 1,234,567 records, 0 not logged"
    std::string ServiceStatus() const {
        const CounterSnapshot counters = m_session.Counters();
        return "listening on UDP port " + std::to_string(m_session.Port()) + "; " +
               GroupedDigits(counters.records) + " records, " + GroupedDigits(counters.notLogged) +
               " not logged";
    }

    // False once a stop signal has arrived.
    bool WaitAndServe() {
        pollfd fds[5] = {{m_signalFd, POLLIN, 0},
                         {m_wakeFd, POLLIN, 0},
                         {m_stdinOpen ? STDIN_FILENO : -1, POLLIN, 0},
                         {m_stdout.Pending() ? m_stdout.Fd() : -1, POLLOUT, 0},
                         {m_stderr.Pending() ? m_stderr.Fd() : -1, POLLOUT, 0}};
        if (poll(fds, 5, m_devices.MillisecondsToTick()) < 0) {
            return true;  // EINTR: look again
        }
        m_devices.Tick();
        if (fds[1].revents != 0) {
            std::uint64_t wakes = 0;
            [[maybe_unused]] const auto n = read(m_wakeFd, &wakes, sizeof wakes);
            ServeRecords();
        }
        ServeForwarder();  // its reports, and the counters for its status at least once a second
        if (fds[2].revents != 0) {
            ServeStdin();
        }
        if (fds[3].revents != 0) {
            m_stdout.Flush();
            ReportNotPrinted();
        }
        if (fds[4].revents != 0) {
            m_stderr.Flush();
        }
        return fds[0].revents == 0;
    }

    void Wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = write(m_wakeFd, &one, sizeof one);
    }

    void ServeRecords() {
        m_session.DrainInto(m_batch);
        for (HandledRecord& handled : m_batch) {
            if (handled.logReport) {
                Report(*handled.logReport);
            }
            if (handled.record) {
                if (!m_stdout.WriteLine(handled.record->text)) {
                    ++m_notPrinted;
                }
            }
        }
        if (m_forwarder && !m_batch.empty()) {
            m_forwarder->Nudge();
        }
        m_batch.clear();
        m_stdout.Flush();
        ReportNotPrinted();
    }

    void ServeForwarder() {
        if (m_forwarder) {
            m_forwarder->SetCounters(m_session.Counters());
            RunBrokerCommands(m_session, *m_forwarder,
                              [this](const CommandReport& report) { m_devices.ReportAll(report); });
            for (const std::string& line : m_forwarder->TakeReports()) {
                Report(line);
            }
        }
    }

    // Once the reader has caught up again (or at the stop), how many lines it missed.
    void ReportNotPrinted() {
        if (m_notPrinted == 0 || m_stdout.Pending()) {
            return;
        }
        Report(std::to_string(m_notPrinted) + " lines not printed: standard output not read");
        m_notPrinted = 0;
    }

    void ServeStdin() {
        char chunk[4096];
        const auto n = read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            return;
        }
        std::vector<InputLine> lines;
        if (n <= 0) {
            // Under a service manager there is no input: only a signal ends the centre.
            m_stdinOpen = false;
            m_lines.Finish(lines);
        } else {
            m_lines.Feed({chunk, static_cast<std::size_t>(n)}, lines);
        }
        for (const InputLine& line : lines) {
            if (line.tooLong) {
                Report("input line longer than " + std::to_string(kLongestCommandLine) +
                       " bytes: discarded, nothing sent");
            } else {
                SendLine(line.text);
            }
        }
    }

    void SendLine(std::string_view text) {
        const StdinLine line = ParseStdinLine(text);
        if (line.target != StdinTarget::Newest) {
            m_devices.Serve(line);
            return;
        }
        m_devices.ReportAll(SendCommand(m_session, m_session.Clients().Newest(),
                                        line.command.bufferText, line.command.mode));
    }

    void Stop() {
        m_notifier.Stop();
        m_metrics.reset();
        m_session.Close();
        ServeRecords();  // what was taken in before the close is logged and printed too
        FlushWithin(m_stdout, kFlushAtStopMs);
        // Lines still waiting for the reader are given up: the log has them.
        m_notPrinted += m_stdout.Discard();
        ReportNotPrinted();
        m_devices.Stop();
        if (m_forwarder) {
            m_forwarder->Stop();
            ServeForwarder();
        }
        Report("stopped; " + FormatCounters(m_session.Counters()));
    }

    static void FlushWithin(NonBlockingOutput& out, int milliseconds) {
        out.Flush();
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (out.Pending() && std::chrono::steady_clock::now() < deadline) {
            pollfd fd{out.Fd(), POLLOUT, 0};
            poll(&fd, 1, 5);
            out.Flush();
        }
    }

    Options m_options;
    int m_signalFd;
    int m_wakeFd;
    NonBlockingOutput m_stdout{STDOUT_FILENO};
    NonBlockingOutput m_stderr{STDERR_FILENO, 1024 * 1024};
    ServiceNotifier m_notifier;  // before the session, whose log stage beats for it
    Session m_session;
    std::unique_ptr<MetricsServer> m_metrics;  // after the session, whose figures it serves
    HeadlessDevices m_devices;
    std::unique_ptr<Forwarder> m_forwarder;  // --mqtt
    LineSplitter m_lines{kLongestCommandLine};
    bool m_stdinOpen = true;
    std::uint64_t m_notPrinted = 0;
    std::vector<HandledRecord> m_batch;
};

}  // namespace

int RunHeadless(const Options& options) {
    const int signalFd = WatchStopSignals();
    if (signalFd < 0) {
        std::fprintf(stderr, "tarnwick: cannot watch for stop signals: %s\n", strerror(errno));
        return 1;
    }
    const int status = HeadlessCentre(options, signalFd).Run();
    close(signalFd);
    return status;
}

}  // namespace tarnwick
