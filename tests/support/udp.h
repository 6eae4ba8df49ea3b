#pragma once

// A UDP socket on the loopback, 127.0.0.1 or ::1, for tests: it stands in for a device or for
// the centre.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick::test {

struct Datagram {
    std::string bytes;
    std::uint16_t port = 0;  // the sender's, on the loopback
};

enum class Loopback { Ipv4, Ipv6 };  // 127.0.0.1 or ::1

class UdpPeer {
public:
    // Bound to the loopback on a port the system picks. Throws std::system_error on failure.
    static UdpPeer BindLoopback(Loopback loopback = Loopback::Ipv4);

    UdpPeer(UdpPeer&& other) noexcept;
    UdpPeer& operator=(UdpPeer&&) = delete;
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;
    ~UdpPeer();

    [[nodiscard]] std::uint16_t Port() const { return m_port; }
    [[nodiscard]] Loopback Family() const { return m_loopback; }

    // One datagram to port on the peer's loopback. Throws std::system_error on failure.
    void SendTo(std::uint16_t port, std::string_view bytes);

    // The next datagram, or nothing when none arrives within timeout.
    std::optional<Datagram> Receive(std::chrono::milliseconds timeout);

private:
    UdpPeer(int fd, Loopback loopback) : m_fd(fd), m_loopback(loopback) {}

    int m_fd;
    Loopback m_loopback;
    std::uint16_t m_port = 0;
};

}  // namespace tarnwick::test
