// The window's record path in-process: records sent on loopback to a session (receive thread,
// log stage with its answers, log file), drained in batches into the live display's rows and
// extent, as the window drains them. Prints records per second and the memory the display
// holds per record.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QFontMetrics>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/options.h"
#include "log/log_folder.h"
#include "resident_bytes.h"
#include "session/session.h"
#include "window/dialog_font.h"
#include "window/live_display.h"
#include "window/row_widths.h"

namespace {

constexpr std::uint64_t kRecords = 1'000'000;
constexpr std::uint64_t kInFlight = 2'048;  // sent but not yet drained

// Sends kRecords device records to port, never more than kInFlight ahead of drained.
void SendRecords(std::uint16_t port, const std::atomic<std::uint64_t>& drained) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (std::uint64_t i = 0; i < kRecords; ++i) {
        while (i >= drained.load() + kInFlight) {
            std::this_thread::yield();
        }
        const std::string body = "#ST,123;STA:" + std::to_string(i) + ";#";
        sendto(fd, body.data(), body.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    close(fd);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tarnwick;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;
    SessionConfig config;
    config.logFile = LogFilePathIn(folder.path().toStdString(), SystemLocalTime());
    Session session(std::move(config));
    session.SetAutoReply(true);
    if (!session.Listen(0).ok()) {
        std::fprintf(stderr, "bench_window_path: cannot listen\n");
        return 1;
    }
    const RowWidths measure{QFontMetrics(DialogFont())};
    LiveDisplay display(measure, kDefaultMaxRows);
    std::atomic<std::uint64_t> drained{0};

    const long before = ResidentBytes();
    const auto start = std::chrono::steady_clock::now();
    std::thread sender(SendRecords, session.Port(), std::cref(drained));
    std::vector<HandledRecord> batch;
    while (drained.load() < kRecords) {
        session.DrainInto(batch);
        for (const HandledRecord& handled : batch) {
            display.Show(*handled.record, SystemLocalTime());
        }
        display.Commit();
        drained += batch.size();
        batch.clear();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sender.join();
    session.Close();
    const long grown = ResidentBytes() - before;
    const CounterSnapshot counts = session.Counters();

    std::printf("window record path: %llu records in %.2f s, %.0f records/s\n",
                static_cast<unsigned long long>(kRecords), seconds,
                static_cast<double>(kRecords) / seconds);
    std::printf("memory: %.1f MB grown, %.0f bytes per displayed record\n",
                static_cast<double>(grown) / 1e6,
                static_cast<double>(grown) / static_cast<double>(kRecords));
    std::printf("%s\n", FormatCounters(counts).c_str());
    return 0;
}
