// The operator page's devices list at 100,000 devices, over HTTP on loopback as the page asks
// for it: a page of the list, a page in another order, and a filter that picks one device, each
// asked again and again with the snapshot renewed every second as it is in a running centre;
// and how long the device table's lock is held for one snapshot, the time the log stage may
// wait for it. Prints figures only.

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "record/recv_hand_off.h"
#include "session/session.h"
#include "web/web_server.h"

namespace {

using namespace std::chrono;

constexpr int kDevices = 100'000;
constexpr int kRequests = 300;
constexpr const char* kToken = "bench-token";

tarnwick::socket_info Sender(int device) {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_port = htons(static_cast<std::uint16_t>(10000 + device % 50000));
    from.sin_addr.s_addr = htonl(0x0A000000u + static_cast<std::uint32_t>(device / 50000));
    return {3, tarnwick::PeerAddress::From(from), 1};
}

// One request on a fresh connection; the whole answer's size, 0 when it failed.
std::size_t Ask(std::uint16_t port, const std::string& path) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return 0;
    }
    const std::string request = "GET " + path +
                                " HTTP/1.0\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + kToken +
                                "\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::size_t total = 0;
    char chunk[65536];
    for (ssize_t n; (n = recv(fd, chunk, sizeof chunk, 0)) > 0;) {
        total += static_cast<std::size_t>(n);
    }
    close(fd);
    return total;
}

void Measure(const char* what, std::uint16_t port, const std::vector<std::string>& paths) {
    std::vector<double> ms;
    std::size_t bytes = 0;
    for (int i = 0; i < kRequests; ++i) {
        const auto start = steady_clock::now();
        bytes += Ask(port, paths[static_cast<std::size_t>(i) % paths.size()]);
        ms.push_back(duration<double, std::milli>(steady_clock::now() - start).count());
    }
    std::ranges::sort(ms);
    std::printf("%-44s p50 %6.2f ms  p99 %6.2f ms  max %6.2f ms  (%zu bytes a answer)\n", what,
                ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back(), bytes / kRequests);
}

}  // namespace

int main() {
    using namespace tarnwick;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("bench-web-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "token") << kToken << "\n";
    SessionConfig config;
    config.logFile = (folder / "log.txt").string();
    Session session(config);
    for (int device = 0; device < kDevices; ++device) {
        const std::string body = "#ST,123;ID:" + std::to_string(device) + ";STA:12.5;#";
        const socket_info sender = Sender(device);
        (void)session.Devices().Heard(SenderText(HandOffKind::Text, sender.addr) + ":" + body, body,
                                      sender, Moment::Now());
    }
    const auto copyStart = steady_clock::now();
    const std::vector<DeviceRow> rows = session.Devices().Devices(session.Now());
    std::printf("snapshot of %zu devices (the table's lock held): %.1f ms\n", rows.size(),
                duration<double, std::milli>(steady_clock::now() - copyStart).count());

    WebSettings settings;
    settings.tokenFile = (folder / "token").string();
    settings.wake = [] {};
    settings.sources.broker = [] { return std::optional<BrokerFigures>(); };
    auto started = WebServer::Start(session, std::move(settings));
    if (!started.server) {
        std::fprintf(stderr, "bench_web_devices: cannot serve: %s\n", started.why.c_str());
        return 1;
    }
    const std::uint16_t port = started.server->Port();
    std::vector<std::string> pages, sorted, filters;
    for (int i = 0; i < 50; ++i) {
        pages.push_back("/api/devices?offset=" + std::to_string(i * 997) + "&limit=100");
        sorted.push_back("/api/devices?sort=-lastHeard&offset=" + std::to_string(i * 1999) +
                         "&limit=100");
        filters.push_back("/api/devices?filter=id:" + std::to_string(i * 1777 + 5) + "%3B");
    }
    std::printf("devices API at %d devices, %d requests each, one connection a request:\n",
                kDevices, kRequests);
    Measure("a page of 100 by key", port, pages);
    Measure("a page of 100 by -lastHeard", port, sorted);
    Measure("a filter that picks one device", port, filters);
    started.server.reset();
    session.Close();
    std::filesystem::remove_all(folder);
    return 0;
}
