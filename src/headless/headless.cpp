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

#include "app/operator_lines.h"
#include "app/session_options.h"
#include "app/stop_signals.h"
#include "centre/centre.h"
#include "headless/headless_devices.h"
#include "headless/line_splitter.h"
#include "headless/nonblocking_output.h"
#include "headless/stdin_command.h"
#include "health/service_notifier.h"
#include "log/log_folder.h"

namespace tarnwick {
namespace {

// How long a stop gives standard output and error to take what is still buffered.
constexpr int kFlushAtStopMs = 50;

// The wake-up descriptor the centre's threads write to: closed only once they are gone.
class WakeFd {
public:
    WakeFd() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    WakeFd(const WakeFd&) = delete;
    WakeFd& operator=(const WakeFd&) = delete;
    ~WakeFd() { close(m_fd); }

    [[nodiscard]] int Fd() const { return m_fd; }
    void Wake() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = write(m_fd, &one, sizeof one);
    }
    void Clear() const {
        std::uint64_t wakes = 0;
        [[maybe_unused]] const auto n = read(m_fd, &wakes, sizeof wakes);
    }

private:
    int m_fd;
};

class HeadlessCentre {
public:
    HeadlessCentre(const Options& options, int signalFd)
        : m_options(options),
          m_signalFd(signalFd),
          m_centre(options, Hooks()),
          m_devices(m_centre.session(), options, [this](std::string_view line) { Report(line); }) {}
    HeadlessCentre(const HeadlessCentre&) = delete;
    HeadlessCentre& operator=(const HeadlessCentre&) = delete;

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
    CentreHooks Hooks() {
        CentreHooks hooks;
        hooks.wake = [this] { m_wake.Wake(); };
        hooks.report = [this](std::string_view line) { Report(line); };
        hooks.events = [this](const std::vector<DeviceEvent>& events) {
            m_devices.ReportEvents(events);
        };
        // A service manager's watchdog watches the log stage: the stage answers, so a stage
        // that stops going round is a centre that has stopped answering.
        if (const auto every = m_notifier.BeatEvery()) {
            hooks.heartbeat = {[this] { m_notifier.Beat(); }, *every};
        }
        return hooks;
    }

    // Plain lines on standard error, no colours, each with the program's name: what a service
    // manager's journal shows well, line by line.
    void Report(std::string_view message) {
        for (const std::string_view line : OperatorLines(message)) {
            m_stderr.WriteLine("tarnwick: " + std::string(line));
        }
        m_stderr.Flush();
    }

    bool Start() {
        if (!m_options.port) {
            Report("no port to listen on: give --port PORT");
            return false;
        }
        // A folder that cannot take the log would fail only at the first record, unanswered,
        // and the service would never be ready: it is said now, before anything listens.
        if (const auto refusal = UnusableLogFolder(LogFolderOf(m_options))) {
            Report(*refusal);
            return false;
        }
        const ListenResult result = m_centre.Listen(*m_options.port);
        if (!result.ok()) {
            Report(ListenFailure(result));
            return false;
        }
        Session& session = m_centre.session();
        if (const std::string reach = ReachNotice(session.Place()); !reach.empty()) {
            Report(reach);
        }
        Report("receive buffer " + std::to_string(session.ReceiveBufferBytes()) +
               " bytes; logging to " + session.LogFile());
        if (const auto failure = m_centre.StartServers()) {
            Report("cannot serve " + failure->server + " on " + failure->address + " port " +
                   std::to_string(failure->port) + " (" + failure->Reason() + ")");
            return false;
        }
        m_notifier.Start({[folder = LogFolderOf(m_options)] { return PrepareFolder(folder) == 0; },
                          [this] { return ServiceStatus(); }});
        return true;
    }

    // A chosen address that cannot be bound is most often not this machine's: it is named.
    std::string ListenFailure(const ListenResult& result) const {
        if (m_options.bind && result.error == ListenError::Bind) {
            return "cannot listen on " + m_options.bind->Text() + ": " + strerror(result.errorCode);
        }
        return ListenErrorMessage(result.error, *m_options.port, result.errorCode);
    }

    // "listening on UDP port 5000; 1,234,567 records, 0 not logged"
    std::string ServiceStatus() const {
        const Session& session = m_centre.session();
        const CounterSnapshot counters = session.Counters();
        return "listening on UDP port " + std::to_string(session.Port()) + "; " +
               GroupedDigits(counters.records) + " records, " + GroupedDigits(counters.notLogged) +
               " not logged";
    }

    // False once a stop signal has arrived.
    bool WaitAndServe() {
        pollfd fds[5] = {{m_signalFd, POLLIN, 0},
                         {m_wake.Fd(), POLLIN, 0},
                         {m_stdinOpen ? STDIN_FILENO : -1, POLLIN, 0},
                         {m_stdout.Pending() ? m_stdout.Fd() : -1, POLLOUT, 0},
                         {m_stderr.Pending() ? m_stderr.Fd() : -1, POLLOUT, 0}};
        if (poll(fds, 5, m_devices.MillisecondsToTick()) < 0) {
            return true;  // EINTR: look again
        }
        m_devices.Tick();
        if (fds[1].revents != 0) {
            m_wake.Clear();
            ServeRecords();
        }
        if (fds[2].revents != 0) {
            ServeStdin();
        }
        // The forwarder's reports and commands, the device events, at least once a second.
        m_centre.Serve();
        if (fds[3].revents != 0) {
            m_stdout.Flush();
            ReportNotPrinted();
        }
        if (fds[4].revents != 0) {
            m_stderr.Flush();
        }
        return fds[0].revents == 0;
    }

    void ServeRecords() {
        m_centre.DrainInto(m_batch);
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
        m_batch.clear();
        m_stdout.Flush();
        ReportNotPrinted();
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
                const StdinLine parsed = ParseStdinLine(line.text);
                RefuseLine(m_centre.session(), parsed.key, parsed.text, LineFault::TooLong,
                           kFromStdin);
            } else {
                SendLine(line.text);
            }
        }
    }

    void SendLine(std::string_view text) {
        const StdinLine line = ParseStdinLine(text);
        // The same rules as a broker's command: an empty one sends nothing, as the window's
        // SEND is disabled for it.
        if (const auto fault = CommandLineFault(line.text)) {
            if (*fault != LineFault::Empty) {
                Report("input line holds a NUL byte: discarded, nothing sent");
                RefuseLine(m_centre.session(), line.key, line.text, *fault, kFromStdin);
            }
            return;
        }
        if (line.target != StdinTarget::Newest) {
            m_devices.Serve(line);
            return;
        }
        Session& session = m_centre.session();
        m_devices.ReportAll(SendCommand(session, session.Clients().Newest(),
                                        line.command.bufferText, line.command.mode, kFromStdin));
    }

    void Stop() {
        m_notifier.Stop();
        m_centre.Stop([this] {
            ServeRecords();  // what was taken in before the close is logged and printed too
            FlushWithin(m_stdout, kFlushAtStopMs);
            // Lines still waiting for the reader are given up: the log has them.
            m_notPrinted += m_stdout.Discard();
            ReportNotPrinted();
            m_devices.Stop();
        });
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
    WakeFd m_wake;  // before the centre, whose threads write it
    NonBlockingOutput m_stdout{STDOUT_FILENO};
    NonBlockingOutput m_stderr{STDERR_FILENO, 1024 * 1024};
    ServiceNotifier m_notifier;  // before the centre, whose log stage beats for it
    Centre m_centre;
    HeadlessDevices m_devices;
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
