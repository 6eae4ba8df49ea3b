#pragma once

// The receiving engine as a front end drives it: open and close the listener, send to the
// newest client. The client list, the counters and the sorter's memory of the last datagram
// live here, across every Close and Listen.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "net/client_list.h"
#include "net/datagram_sorter.h"
#include "net/engine_counters.h"
#include "net/receive_front_end.h"
#include "net/receive_thread.h"
#include "net/udp_listener.h"

namespace tarnwick {

struct ListenResult {
    ListenError error = ListenError::None;
    int errorCode = 0;  // errno of the failed step
    [[nodiscard]] bool ok() const { return error == ListenError::None; }
};

struct SendResult {
    enum class Status { Sent, NoClient, Failed };
    Status status = Status::Sent;
    int errorCode = 0;  // errno when Failed
};

class Centre {
public:
    explicit Centre(ReceiveFrontEnd& frontEnd);
    Centre(const Centre&) = delete;
    Centre& operator=(const Centre&) = delete;
    ~Centre();

    // Opening: the port text read as ParsePortText reads it, then one receive thread. When
    // the thread cannot be started the socket is closed again (ThreadStart).
    ListenResult Listen(std::string_view portText);
    // Ends the receive thread (joined on return), then closes the socket.
    void Close();

    [[nodiscard]] bool IsListening() const { return m_listener.has_value(); }
    [[nodiscard]] std::uint16_t Port() const;
    [[nodiscard]] int ReceiveBufferBytes() const;

    // One datagram to the newest client through the listener it came in on. A client whose
    // listener has been closed since gets nothing (EBADF), and no socket is touched.
    SendResult SendToNewestClient(std::span<const std::uint8_t> datagram);

    [[nodiscard]] const ClientList& Clients() const { return m_clients; }
    [[nodiscard]] EngineCounters& Counters() { return m_counters; }
    [[nodiscard]] const EngineCounters& Counters() const { return m_counters; }

private:
    ListenResult NotStarted(int errorCode);

    ReceiveFrontEnd& m_frontEnd;
    ClientList m_clients;
    EngineCounters m_counters;
    DatagramSorter m_sorter;
    std::optional<UdpListener> m_listener;
    std::unique_ptr<ReceiveThread> m_thread;
    std::uint64_t m_listenerId = 0;
};

}  // namespace tarnwick
