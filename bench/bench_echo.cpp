// bench_echo: the ceiling the centre is measured against. One thread answers every datagram with
// "@517" to its sender, one recvfrom and one sendto each, and does nothing else; with --batch,
// every record, up to N a recvmmsg and a sendmmsg call (bench::BatchedEcho).
//
//     bench_echo --port PORT [--batch N]     (port 0: the system picks; the port is printed on
//                                             stderr)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "batched_echo.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) {
    g_stop = 1;
}

// No SA_RESTART: the signal must break the blocking recvfrom.
void InstallStopHandler() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

struct EchoOptions {
    std::uint16_t port = 0;
    unsigned batch = 0;  // 0: one datagram a call
};

constexpr unsigned kMaxBatch = 1024;

std::optional<unsigned> Number(std::string_view text, unsigned min, unsigned max) {
    unsigned value = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || stop != text.data() + text.size() || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

// "--port N" and, when given, "--batch N"; nothing when the command line is anything else.
std::optional<EchoOptions> ParseArguments(int argc, char** argv) {
    const bool batched = argc == 5 && std::string_view(argv[3]) == "--batch";
    if ((argc != 3 && !batched) || std::string_view(argv[1]) != "--port") {
        return std::nullopt;
    }
    const std::optional<unsigned> port = Number(argv[2], 0, 65535);
    const std::optional<unsigned> batch = batched ? Number(argv[4], 1, kMaxBatch) : 0u;
    if (!port || !batch) {
        return std::nullopt;
    }
    return EchoOptions{static_cast<std::uint16_t>(*port), *batch};
}

void TuneSocket(int fd) {
    // Room for a whole window of records arriving at once: the default (about 200 small
    // datagrams) would drop most of the first burst and measure the losses, not the loop.
    const int bufferBytes = 8 << 20;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bufferBytes, sizeof bufferBytes) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    }
    // A stop signal that lands just before recvfrom blocks is seen within this time.
    const timeval wake{0, 200'000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wake, sizeof wake);
}

int BindLoopback(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    TuneSocket(fd);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("bench_echo");
        std::exit(1);
    }
    std::fprintf(stderr, "bench_echo: listening on UDP port %u\n", ntohs(address.sin_port));
    return fd;
}

void Echo(int fd) {
    static char buffer[65536];
    constexpr std::string_view kReply = "@517";
    while (g_stop == 0) {
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        if (recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender), &length) <
            0) {
            continue;  // the stop signal, the wake-up timeout, or a transient error
        }
        sendto(fd, kReply.data(), kReply.size(), 0, reinterpret_cast<sockaddr*>(&sender), length);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<EchoOptions> options = ParseArguments(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: bench_echo --port PORT [--batch 1..%u]\n", kMaxBatch);
        return 2;
    }
    InstallStopHandler();
    const int fd = BindLoopback(options->port);
    if (options->batch == 0) {
        Echo(fd);
    } else {
        bench::BatchedEcho(options->batch).Run(fd, g_stop);
    }
    return 0;
}
