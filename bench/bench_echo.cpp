// bench_echo: the ceiling the centre is measured against. One thread answers every datagram with
// "@517" to its sender, one recvfrom and one sendto each, and does nothing else.
//
//     bench_echo --port PORT     (0: the system picks; the port is printed on stderr)

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

// The port of "--port N", or nothing when the command line is anything else.
std::optional<std::uint16_t> PortArgument(int argc, char** argv) {
    if (argc != 3 || std::string_view(argv[1]) != "--port") {
        return std::nullopt;
    }
    const std::string_view text = argv[2];
    unsigned port = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc{} || stop != text.data() + text.size() || port > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(port);
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
    const std::optional<std::uint16_t> port = PortArgument(argc, argv);
    if (!port) {
        std::fprintf(stderr, "usage: bench_echo --port PORT\n");
        return 2;
    }
    InstallStopHandler();
    Echo(BindLoopback(*port));
    return 0;
}
