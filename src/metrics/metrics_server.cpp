#include "metrics/metrics_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string_view>
#include <system_error>

#include "net/tcp_listen.h"

namespace tarnwick {
namespace {

// The library refuses beyond this, should connections come faster than those cut can close.
constexpr unsigned kHardLimit = 2 * MetricsServer::kMostConnections;

MHD_Result Reply(MHD_Connection* connection, unsigned status, std::string_view body,
                 const char* type) {
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

int FdOf(MHD_Connection* connection) {
    return MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD)->connect_fd;
}

// The peer's address without its port: what the per-peer bound counts.
std::string PeerOf(MHD_Connection* connection) {
    const sockaddr* address =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS)->client_addr;
    char text[INET6_ADDRSTRLEN] = {};
    const void* bytes =
        address->sa_family == AF_INET6
            ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr)
            : &reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
    inet_ntop(address->sa_family, bytes, text, sizeof text);
    return text;
}

}  // namespace

// The library's callbacks, a friend of the server to reach its page and its connections.
struct MetricsRequest {
    static void Connection(void* server, MHD_Connection* connection, void** /*context*/,
                           MHD_ConnectionNotificationCode code) {
        ConnectionGuard& guard = static_cast<MetricsServer*>(server)->m_connections;
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            guard.Opened(FdOf(connection), PeerOf(connection), ConnectionGuard::Clock::now());
        } else {
            guard.Closed(FdOf(connection));
        }
    }

    static void Completed(void* server, MHD_Connection* connection, void** /*state*/,
                          MHD_RequestTerminationCode /*code*/) {
        static_cast<MetricsServer*>(server)->m_connections.Answered(FdOf(connection),
                                                                    ConnectionGuard::Clock::now());
    }

    static MHD_Result Answer(void* server, MHD_Connection* connection, const char* url,
                             const char* method, const char* /*version*/, const char* /*upload*/,
                             std::size_t* /*uploadSize*/, void** /*state*/) {
        constexpr const char* kText = "text/plain; charset=utf-8";
        if (std::string_view(url) != "/metrics") {
            return Reply(connection, MHD_HTTP_NOT_FOUND, "not found\n", kText);
        }
        if (std::string_view(method) != MHD_HTTP_METHOD_GET &&
            std::string_view(method) != MHD_HTTP_METHOD_HEAD) {
            return Reply(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "GET only\n", kText);
        }
        return Reply(connection, MHD_HTTP_OK, static_cast<MetricsServer*>(server)->m_page(),
                     "text/plain; version=0.0.4; charset=utf-8");
    }
};

MetricsServer::Started MetricsServer::Start(const std::string& address, std::uint16_t port,
                                            std::function<std::string()> page) {
    const int fd = ListenTcp(address, port);
    if (fd < 0) {
        return {nullptr, errno};
    }
    std::unique_ptr<MetricsServer> server(
        new MetricsServer(std::move(page), address, BoundPort(fd)));
    errno = 0;
    server->m_daemon = MHD_start_daemon(
        static_cast<unsigned>(MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ITC), 0, nullptr, nullptr,
        &MetricsRequest::Answer, server.get(), MHD_OPTION_LISTEN_SOCKET, fd,
        MHD_OPTION_CONNECTION_LIMIT, kHardLimit, MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds,
        MHD_OPTION_NOTIFY_CONNECTION, &MetricsRequest::Connection, server.get(),
        MHD_OPTION_NOTIFY_COMPLETED, &MetricsRequest::Completed, server.get(), MHD_OPTION_END);
    if (server->m_daemon == nullptr) {
        const int error = errno != 0 ? errno : EINVAL;
        close(fd);
        return {nullptr, error};
    }
    try {
        server->m_sweeper =
            std::jthread([raw = server.get()](std::stop_token stop) { raw->CutExpired(stop); });
    } catch (const std::system_error& failure) {
        return {nullptr, failure.code().value()};
    }
    return {std::move(server), 0};
}

MetricsServer::MetricsServer(std::function<std::string()> page, std::string address,
                             std::uint16_t port)
    : m_page(std::move(page)),
      m_address(std::move(address)),
      m_port(port),
      // A cut shuts the socket down; the library then sees it end and closes it.
      m_connections({kMostConnections, kMostPerPeer, kRequestTime},
                    [](int fd) { shutdown(fd, SHUT_RDWR); }) {}

void MetricsServer::CutExpired(const std::stop_token& stop) {
    std::mutex mutex;
    std::condition_variable_any stopped;
    std::unique_lock lock(mutex);
    while (!stopped.wait_for(lock, stop, std::chrono::seconds(1),
                             [&stop] { return stop.stop_requested(); })) {
        m_connections.CutExpired(ConnectionGuard::Clock::now());
    }
}

std::string MetricsServer::Url() const {
    return HttpOrigin(false, m_address, m_port) + "/metrics";
}

MetricsServer::~MetricsServer() {
    // The sweeper cuts the library's sockets: stopped while they are still open.
    m_sweeper = {};
    MHD_stop_daemon(m_daemon);
}

}  // namespace tarnwick
