// The device table's cost: how fast it takes records from many devices, and the memory one
// device holds. Prints figures only.

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "numbered_senders.h"
#include "record/recv_hand_off.h"
#include "resident_bytes.h"
#include "session/device_table.h"

namespace {

constexpr int kDevices = 100'000;
constexpr int kRecords = 2'000'000;

}  // namespace

int main() {
    using namespace tarnwick;
    DeviceTable table{DeviceSettings{}};
    const long before = ResidentBytes();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRecords; ++i) {
        const int device = i % kDevices;
        const std::string body = "#ST,123;STA:" + std::to_string(i) + ";#";
        const socket_info sender = NumberedSender(device);
        const std::string logged = SenderText(HandOffKind::Text, sender.addr) + ":" + body;
        table.Heard(logged, body, sender, Moment::Now());
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long grown = ResidentBytes() - before;
    std::printf("device table: %d records from %d devices in %.2f s, %.0f records/s\n", kRecords,
                kDevices, seconds, kRecords / seconds);
    std::printf("memory per device: %.0f bytes (%.1f MB for %d devices)\n",
                static_cast<double>(grown) / kDevices, static_cast<double>(grown) / 1e6, kDevices);
    return 0;
}
