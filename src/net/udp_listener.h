#pragma once

// The listening UDP socket: IPv4, all local interfaces, one port. Owned by its front end's
// thread; closed when the object goes.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnwick {

// ThreadStart: the socket was bound but its receive thread could not be started (no memory,
// a thread or descriptor limit); the listener stays closed.
enum class ListenError { None, SocketCreate, Bind, ThreadStart };

// "socket create error!" (for ThreadStart too: to the operator both mean the listener could
// not be set up), "socket bind error!", or empty (nothing to tell the operator).
[[nodiscard]] std::string_view ListenErrorMessage(ListenError error);

class UdpListener {
public:
    // The receive buffer the listener asks for, so bursts wait in the kernel, not on the floor.
    static constexpr int kWantedReceiveBuffer = 4 * 1024 * 1024;

    struct OpenResult;

    // A UDP socket bound to port on every local IPv4 address (INADDR_ANY).
    [[nodiscard]] static OpenResult Open(std::uint16_t port);

    UdpListener(UdpListener&& other) noexcept;
    UdpListener& operator=(UdpListener&& other) noexcept;
    UdpListener(const UdpListener&) = delete;
    UdpListener& operator=(const UdpListener&) = delete;
    ~UdpListener();

    [[nodiscard]] int Fd() const { return m_fd; }
    [[nodiscard]] std::uint16_t Port() const { return m_port; }
    // What the kernel granted when asked for kWantedReceiveBuffer.
    [[nodiscard]] int ReceiveBufferBytes() const { return m_receiveBuffer; }
    // Datagrams the kernel dropped on this socket for want of buffer space, read from the
    // socket itself: drops are counted even when nothing arrives after them.
    [[nodiscard]] std::uint64_t KernelDrops() const;

private:
    explicit UdpListener(int fd);
    void CloseSocket();

    int m_fd = -1;
    std::uint16_t m_port = 0;
    int m_receiveBuffer = 0;
};

struct UdpListener::OpenResult {
    std::optional<UdpListener> listener;
    ListenError error = ListenError::None;
    int errorCode = 0;  // errno of the failed step
};

}  // namespace tarnwick
