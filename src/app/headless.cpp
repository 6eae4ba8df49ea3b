#include "app/headless.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/line_splitter.h"
#include "app/stdin_command.h"
#include "app/stop_signals.h"
#include "display/handoff_handler.h"
#include "log/log_folder.h"
#include "net/centre.h"
#include "net/queued_front_end.h"

namespace tarnwick {
namespace {

// Plain lines on standard error, no colours, each with the program's name: what a service
// manager's journal shows well, line by line. The window's message texts break lines with
// CR LF.
void Report(std::string_view message) {
    std::string text;
    for (auto end = message.find('\n');; end = message.find('\n')) {
        std::string_view line = message.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        text += "tarnwick: ";
        text += line;
        text += '\n';
        if (end == std::string_view::npos) {
            break;
        }
        message.remove_prefix(end + 1);
    }
    [[maybe_unused]] const auto written = write(STDERR_FILENO, text.data(), text.size());
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

class HeadlessCentre {
public:
    HeadlessCentre(const Options& options, int signalFd)
        : m_options(options),
          m_signalFd(signalFd),
          m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
          m_frontEnd([this] { Wake(); }),
          m_centre(m_frontEnd),
          m_log(LogFilePathIn(options.logDir.value_or(DefaultLogFolder(ProgramPath())),
                              SystemLocalTime()),
                SystemLocalTime),
          m_handler(m_log, m_centre.Counters()) {
        m_frontEnd.SetAutoReply(options.autoReply);
        m_frontEnd.SetDisplayHex(options.hex);
    }
    HeadlessCentre(const HeadlessCentre&) = delete;
    HeadlessCentre& operator=(const HeadlessCentre&) = delete;
    ~HeadlessCentre() { close(m_wakeFd); }

    int Run() {
        if (!Start()) {
            return 1;
        }
        while (WaitAndServe()) {
        }
        Stop();
        return 0;
    }

private:
    bool Start() {
        const ListenResult result = m_centre.Listen(m_options.port.value_or(""));
        if (result.error == ListenError::EmptyPort) {
            Report("no port to listen on: give --port PORT");
            return false;
        }
        if (!result.ok()) {
            Report(std::string(ListenErrorMessage(result.error)) + " (" +
                   strerror(result.errorCode) + ")");
            return false;
        }
        Report("listening on UDP port " + std::to_string(m_centre.Port()));
        Report("receive buffer " + std::to_string(m_centre.ReceiveBufferBytes()) +
               " bytes; logging to " + m_log.LogFile());
        return true;
    }

    // False once a stop signal has arrived.
    bool WaitAndServe() {
        pollfd fds[3] = {{m_signalFd, POLLIN, 0},
                         {m_wakeFd, POLLIN, 0},
                         {m_stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            return true;  // EINTR: look again
        }
        if (fds[1].revents != 0) {
            std::uint64_t wakes = 0;
            [[maybe_unused]] const auto n = read(m_wakeFd, &wakes, sizeof wakes);
            ServeRecords();
        }
        if (fds[2].revents != 0) {
            ServeStdin();
        }
        return fds[0].revents == 0;
    }

    void Wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = write(m_wakeFd, &one, sizeof one);
    }

    void ServeRecords() {
        m_frontEnd.DrainInto(m_batch);
        m_out.clear();
        for (RecvHandOff& handOff : m_batch) {
            auto handled = m_handler.Handle(std::move(handOff));
            if (!handled) {
                continue;
            }
            if (handled->logReport) {
                Report(*handled->logReport);
            }
            m_out += handled->record.text;
            m_out += '\n';
        }
        m_batch.clear();
        // A reader that went away must not stop the logging.
        if (m_stdoutOpen && !WriteAll(STDOUT_FILENO, m_out)) {
            m_stdoutOpen = false;
        }
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

    void SendLine(std::string_view line) {
        const StdinCommand command = ParseStdinCommand(line);
        const CommandReport report =
            SendCommand(m_centre, m_centre.Clients().Newest(), command.bufferText, command.mode);
        for (const OperatorMessage& message : report.Messages()) {
            Report(message.text);
        }
    }

    void Stop() {
        m_centre.Close();
        ServeRecords();  // what was handed over before the close is still logged
        Report("stopped; " + FormatCounters(m_centre.Counters().Snapshot()));
    }

    Options m_options;
    int m_signalFd;
    int m_wakeFd;
    QueuedFrontEnd m_frontEnd;
    Centre m_centre;
    DailyLog m_log;
    HandOffHandler m_handler;
    LineSplitter m_lines{kLongestCommandLine};
    bool m_stdinOpen = true;
    bool m_stdoutOpen = true;
    std::vector<RecvHandOff> m_batch;
    std::string m_out;
};

}  // namespace

int RunHeadless(const Options& options) {
    const int signalFd = WatchStopSignals();
    if (signalFd < 0) {
        Report(std::string("cannot watch for stop signals: ") + strerror(errno));
        return 1;
    }
    const int status = HeadlessCentre(options, signalFd).Run();
    close(signalFd);
    return status;
}

}  // namespace tarnwick
