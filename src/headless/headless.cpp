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
#include "forward/broker_commands.h"
#include "forward/forwarder.h"
#include "headless/headless_devices.h"
#include "headless/line_splitter.h"
#include "headless/nonblocking_output.h"
#include "headless/stdin_command.h"
#include "log/log_folder.h"
#include "session/session.h"

namespace tarnwick {
namespace {

// How long a stop gives standard output and error to take what is still buffered.
constexpr int kFlushAtStopMs = 50;

class HeadlessCentre {
public:
    HeadlessCentre(const Options& options, int signalFd)
        : m_options(options),
          m_signalFd(signalFd),
          m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
          m_session(SessionConfigOf(options, [this] { Wake(); })),
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
        const ListenResult result = m_session.Listen(*m_options.port);
        if (!result.ok()) {
            Report(std::string(ListenErrorMessage(result.error)) + " (" +
                   strerror(result.errorCode) + ")");
            return false;
        }
        Report("listening on UDP port " + std::to_string(m_session.Port()));
        Report("receive buffer " + std::to_string(m_session.ReceiveBufferBytes()) +
               " bytes; logging to " + m_session.LogFile());
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
    Session m_session;
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
