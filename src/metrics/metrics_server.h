#pragma once

// The metrics page over HTTP: GET /metrics answers page(), any other path 404. The library's
// one thread serves every client, event-driven, so a client that sends slowly or never reads
// holds a connection, not the thread; connections are bounded in number and in idle time, so
// no client can take the descriptors or the memory the centre answers with. Nothing here
// touches the session but through page().

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct MHD_Daemon;

namespace tarnwick {

class MetricsServer {
public:
    static constexpr unsigned kMostConnections = 32;
    static constexpr unsigned kIdleSeconds = 5;

    struct Started {
        std::unique_ptr<MetricsServer> server;
        int error = 0;  // errno of the failed step
    };
    // Binds address (IPv4 or IPv6 text) and port, 0 letting the system choose, and serves.
    static Started Start(const std::string& address, std::uint16_t port,
                         std::function<std::string()> page);

    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;
    // Closes every connection and joins the thread.
    ~MetricsServer();

    [[nodiscard]] std::uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:9100/metrics", "http://[::1]:9100/metrics"
    [[nodiscard]] std::string Url() const;

private:
    MetricsServer(std::function<std::string()> page, std::string address, std::uint16_t port)
        : m_page(std::move(page)), m_address(std::move(address)), m_port(port) {}

    std::function<std::string()> m_page;
    std::string m_address;
    std::uint16_t m_port;
    MHD_Daemon* m_daemon = nullptr;

    friend struct MetricsRequest;
};

}  // namespace tarnwick
