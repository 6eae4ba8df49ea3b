#include "metrics/metrics_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace tarnwick {
namespace {

constexpr int kBacklog = 64;

// The listening socket, bound and listening; -1 with errno set when a step fails.
int ListenOn(const std::string& address, std::uint16_t port) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof *v6;
    } else {
        errno = EINVAL;
        return -1;
    }
    const int fd = socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (fd < 0) {
        return -1;
    }
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        (storage.ss_family == AF_INET6 &&
         setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one) != 0) ||
        bind(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0 ||
        listen(fd, kBacklog) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

std::uint16_t BoundPort(int fd) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length);
    return ntohs(storage.ss_family == AF_INET6
                     ? reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port
                     : reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
}

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
    const int fd = ListenOn(address, port);
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
    const bool v6 = m_address.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + m_address + "]" : m_address) + ":" + std::to_string(m_port) +
           "/metrics";
}

MetricsServer::~MetricsServer() {
    MHD_stop_daemon(m_daemon);
}

}  // namespace tarnwick
