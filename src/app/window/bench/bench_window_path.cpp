// The window's record path in-process: the hand-off handler (cut, empty check, log entry), then
// the live display's rows and extent, committed in drain-sized batches. Prints records per
// second and the memory the display holds per record.

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/max_rows.h"
#include "app/window/dialog_font.h"
#include "display/handoff_handler.h"
#include "display/qt/live_display.h"
#include "display/qt/row_widths.h"
#include "log/log_folder.h"

namespace {

constexpr int kRecords = 1'000'000;
constexpr int kRecordsPerDrain = 2'000;

long ResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long kilobytes = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> kilobytes;
            break;
        }
    }
    return kilobytes * 1024;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tarnwick;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;
    DailyLog log(LogFilePathIn(folder.path().toStdString(), SystemLocalTime()), SystemLocalTime);
    EngineCounters counters;
    HandOffHandler handler(log, counters);
    const RowWidths measure{QFontMetrics(DialogFont())};
    LiveDisplay display(measure, kDefaultMaxRows);

    const long before = ResidentBytes();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRecords; ++i) {
        const std::string body = "#ST,123;STA:" + std::to_string(i) + ";#";
        auto handled = handler.Handle(MakeHandOff(HandOffKind::Text, "127.0.0.1", 40000, body, 0));
        display.Show(handled->record, SystemLocalTime());
        if (i % kRecordsPerDrain == kRecordsPerDrain - 1) {
            display.Commit();
        }
    }
    display.Commit();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long grown = ResidentBytes() - before;

    std::printf("window record path: %d records in %.2f s, %.0f records/s\n", kRecords, seconds,
                kRecords / seconds);
    std::printf(
        "memory: %.1f MB grown, %.0f bytes per displayed record (%d rows over 3 columns)\n",
        static_cast<double>(grown) / 1e6, static_cast<double>(grown) / kRecords,
        display.Time().rowCount() + display.Source().rowCount() + display.Data().rowCount());
    // The display's own share: the same records, rows and extent only.
    LiveDisplay rowsOnly(measure, kDefaultMaxRows);
    const auto rowsStart = std::chrono::steady_clock::now();
    for (int i = 0; i < kRecords; ++i) {
        const std::string body = "#ST,123;STA:" + std::to_string(i) + ";#";
        rowsOnly.Show(MakeHandOff(HandOffKind::Text, "127.0.0.1", 40000, body, 0),
                      SystemLocalTime());
    }
    const double rowsSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - rowsStart).count();
    std::printf("rows and extent alone: %.0f records/s\n", kRecords / rowsSeconds);
    std::printf("logged %llu, missed %llu\n",
                static_cast<unsigned long long>(counters.logged.load()),
                static_cast<unsigned long long>(counters.logMissed.load()));
    return 0;
}
