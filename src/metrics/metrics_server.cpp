#include "metrics/metrics_server.h"

#include <microhttpd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "net/tcp_listen.h"

namespace tarnwick {
namespace {

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

}  // namespace

// The library's callback, a friend of the server to reach its page.
struct MetricsRequest {
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
        MHD_OPTION_CONNECTION_LIMIT, kMostConnections, MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds,
        MHD_OPTION_END);
    if (server->m_daemon == nullptr) {
        const int error = errno != 0 ? errno : EINVAL;
        close(fd);
        return {nullptr, error};
    }
    return {std::move(server), 0};
}

std::string MetricsServer::Url() const {
    return HttpOrigin(false, m_address, m_port) + "/metrics";
}

MetricsServer::~MetricsServer() {
    MHD_stop_daemon(m_daemon);
}

}  // namespace tarnwick
