#pragma once

// The metrics page over HTTP: GET /metrics answers page(), any other path 404. The library's
// one thread serves every client, event-driven, so a client that sends slowly or never reads
// holds a connection, not the thread. Connections are bounded in number, per peer, in idle time
// and in the time to send a request, and a newcomer makes room by cutting the oldest of the
// busiest peer (ConnectionGuard), so that neither idle nor trickling clients can keep a scrape
// out or take the descriptors the centre answers with. Nothing here touches the session but
// through page().

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>

#include "metrics/connection_guard.h"

struct MHD_Daemon;

namespace tarnwick {

class MetricsServer {
public:
    static constexpr unsigned kMostConnections = 32;
    static constexpr unsigned kMostPerPeer = 8;
    static constexpr unsigned kIdleSeconds = 5;
    static constexpr std::chrono::seconds kRequestTime{10};

    struct Started {
        std::unique_ptr<MetricsServer> server;
        int error = 0;  // errno of the failed step
    };
    // Binds address (IPv4 or IPv6 text) and port, 0 letting the system choose, and serves.
    static Started Start(const std::string& address, std::uint16_t port,
                         std::function<std::string()> page);

    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;
    // Closes every connection and joins the threads.
    ~MetricsServer();

    [[nodiscard]] std::uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:9100/metrics", "http://[::1]:9100/metrics"
    [[nodiscard]] std::string Url() const;

private:
    MetricsServer(std::function<std::string()> page, std::string address, std::uint16_t port);
    void CutExpired(const std::stop_token& stop);

    std::function<std::string()> m_page;
    std::string m_address;
    std::uint16_t m_port;
    ConnectionGuard m_connections;
    MHD_Daemon* m_daemon = nullptr;
    std::jthread m_sweeper;  // cuts connections whose request time ran out, once a second

    friend struct MetricsRequest;
};

}  // namespace tarnwick
