// The resend window's memory when senders do their worst: 100,000 devices, each flooding texts
// never seen before, so that nothing is a resend and every text is kept as long as the bounds
// let it. Prints figures only: the resident memory as the flood goes on, which levels off.

#include <chrono>
#include <cstdio>
#include <string>

#include "resident_bytes.h"
#include "session/resend_window.h"

namespace {

constexpr int kDevices = 100'000;
constexpr int kRecords = 5'000'000;
constexpr int kReportEvery = 1'000'000;

}  // namespace

int main() {
    using namespace tarnwick;
    ResendWindow window{std::chrono::minutes(10)};
    const long before = ResidentBytes();
    const auto start = std::chrono::steady_clock::now();
    int resent = 0;
    for (int i = 1; i <= kRecords; ++i) {
        const std::string key = "10.0.0." + std::to_string(i % kDevices);
        const std::string text = "#ST,123;STA:" + std::to_string(i) + ";#";
        resent += window.Seen(key, text, i / 1000) ? 1 : 0;  // a thousand records a second
        if (i % kReportEvery == 0) {
            std::printf(
                "resend window: %d records from %d devices: %.1f MB grown, %zu texts "
                "kept\n",
                i, kDevices, static_cast<double>(ResidentBytes() - before) / 1e6, window.Kept());
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("resend window: %.0f records/s, %d resends found (none sent)\n", kRecords / seconds,
                resent);
    return 0;
}
