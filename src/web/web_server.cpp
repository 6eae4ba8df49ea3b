#include "web/web_server.h"

#include <microhttpd.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <utility>

#include "net/peer_address.h"
#include "net/tcp_listen.h"
#include "session/session.h"

namespace tarnwick {
namespace {

// Large enough for any one event: a record of 4,096 bytes, every byte escaped in JSON.
constexpr std::size_t kStreamBlock = 64 * 1024;
// The first event's id: microseconds since the epoch, so that each run's ids lie above the
// last run's and a page reconnecting across a restart is known to be one.
std::uint64_t FirstEventId() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
}

std::optional<std::string> FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string ClientOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (info == nullptr || info->client_addr == nullptr) {
        return "?";
    }
    sockaddr_storage storage{};
    const socklen_t length =
        info->client_addr->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    std::memcpy(&storage, info->client_addr, length);
    return PeerAddress::From(storage).Text();
}

MHD_Result TakeHeader(void* cls, MHD_ValueKind /*kind*/, const char* key, const char* value) {
    std::string name(key);
    for (char& c : name) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    static_cast<WebRequest*>(cls)->header[name] = value == nullptr ? "" : value;
    return MHD_YES;
}

MHD_Result TakeArgument(void* cls, MHD_ValueKind /*kind*/, const char* key, const char* value) {
    auto* request = static_cast<WebRequest*>(cls);
    const auto name = PercentDecoded(key, true);
    const auto text = PercentDecoded(value == nullptr ? "" : value, true);
    // A broken escape is kept as it came: the API refuses what it does not know.
    request->query[name.value_or(key)] = text.value_or(value == nullptr ? "" : value);
    return MHD_YES;
}

// The path and query as they came: the API decodes a device's key itself, after splitting the
// path at its slashes, so that a key holding an escaped "/" stays one key.
std::size_t LeaveEscaped(void* /*cls*/, MHD_Connection* /*connection*/, char* text) {
    return std::strlen(text);
}

MHD_Result Queue(MHD_Connection* connection, const WebReply& reply) {
    MHD_Response* response = MHD_create_response_from_buffer(
        reply.body.size(), const_cast<char*>(reply.body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return MHD_NO;
    }
    if (!reply.type.empty()) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.type.c_str());
    }
    for (const auto& [name, value] : reply.headers) {
        MHD_add_response_header(response, name.c_str(), value.c_str());
    }
    MHD_add_response_header(response, "X-Frame-Options", "DENY");
    if (!reply.headers.empty() && reply.headers.front().first == "Cache-Control") {
        // a page's file: its own caching said
    } else {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    }
    const MHD_Result queued = MHD_queue_response(connection, reply.status, response);
    MHD_destroy_response(response);
    return queued;
}

// A command's answer, handed from the front end's thread to the connection set aside for it.
struct Awaited {
    std::mutex mutex;
    std::optional<WebReply> reply;
};

// One event stream: where its reader stands in the ring.
struct EventStream {
    EventHub& hub;
    MHD_Connection* connection;
    EventHub::Cursor cursor;
};

ssize_t ReadStream(void* cls, std::uint64_t /*pos*/, char* out, std::size_t max) {
    auto* stream = static_cast<EventStream*>(cls);
    MHD_Connection* connection = stream->connection;
    const EventHub::ReadResult read = stream->hub.ReadOrWait(
        stream->cursor, out, max, stream, [connection] { MHD_suspend_connection(connection); },
        [connection] { MHD_resume_connection(connection); });
    switch (read.read) {
        case EventHub::Read::Some:
            return static_cast<ssize_t>(read.bytes);
        case EventHub::Read::Nothing:
            return 0;  // set aside until the next event
        case EventHub::Read::Closed:
            break;
    }
    return MHD_CONTENT_READER_END_OF_STREAM;
}

void EndStream(void* cls) {
    auto* stream = static_cast<EventStream*>(cls);
    stream->hub.Forget(stream);
    delete stream;
}

MHD_Result QueueStream(MHD_Connection* connection, EventHub& hub, EventHub::Cursor cursor) {
    auto* stream = new EventStream{hub, connection, cursor};
    MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, kStreamBlock,
                                                               &ReadStream, stream, &EndStream);
    if (response == nullptr) {
        delete stream;
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued;
}

}  // namespace

// One request from its first header to its answer; the library's callbacks, friends of the
// server to reach its API.
struct WebExchange {
    WebRequest request;
    bool tooLarge = false;
    std::shared_ptr<Awaited> awaited;  // a command queued for the front end

    static MHD_Result Answer(void* cls, MHD_Connection* connection, const char* url,
                             const char* method, const char* /*version*/, const char* upload,
                             std::size_t* uploadSize, void** state) {
        auto* server = static_cast<WebServer*>(cls);
        if (*state == nullptr) {
            auto* exchange = new WebExchange;
            *state = exchange;
            return exchange->Begin(connection, url, method);
        }
        auto* exchange = static_cast<WebExchange*>(*state);
        if (*uploadSize > 0) {
            exchange->Take(upload, *uploadSize);
            *uploadSize = 0;
            return MHD_YES;
        }
        return exchange->Finish(*server, connection);
    }

    static void Completed(void* /*cls*/, MHD_Connection* /*connection*/, void** state,
                          MHD_RequestTerminationCode /*code*/) {
        delete static_cast<WebExchange*>(*state);
        *state = nullptr;
    }

    MHD_Result Begin(MHD_Connection* connection, const char* url, const char* method) {
        request.method = method;
        const std::string_view target(url);
        request.path = std::string(target.substr(0, target.find('?')));
        request.client = ClientOf(connection);
        MHD_get_connection_values(connection, MHD_HEADER_KIND, &TakeHeader, &request);
        MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &TakeArgument, &request);
        const std::string_view length = request.Header("content-length");
        std::size_t bytes = 0;
        const auto [end, error] =
            std::from_chars(length.data(), length.data() + length.size(), bytes);
        tooLarge = !length.empty() && (error != std::errc() || bytes > WebServer::kMostBody);
        return MHD_YES;
    }

    void Take(const char* upload, std::size_t size) {
        if (tooLarge || request.body.size() + size > WebServer::kMostBody) {
            tooLarge = true;
            request.body.clear();
            return;
        }
        request.body.append(upload, size);
    }

    MHD_Result Finish(WebServer& server, MHD_Connection* connection) {
        if (awaited) {
            std::lock_guard lock(awaited->mutex);
            return Queue(connection, *awaited->reply);
        }
        if (tooLarge) {
            return Queue(connection, ErrorReply(413, "a request's body is at most 64 KiB"));
        }
        ApiAnswer answer = server.m_api.Answer(request);
        if (answer.events) {
            return QueueStream(connection, server.m_feed.Hub(), *answer.events);
        }
        if (answer.command) {
            return Await(server, connection, std::move(*answer.command));
        }
        return Queue(connection, *answer.reply);
    }

    // The connection is set aside until the front end has run the command; the answer wakes it.
    MHD_Result Await(WebServer& server, MHD_Connection* connection, PageCommand command) {
        awaited = std::make_shared<Awaited>();
        std::lock_guard lock(awaited->mutex);
        const bool posted = server.m_commands.Post(std::move(command),
                                                   [awaited = awaited, connection](WebReply reply) {
                                                       std::lock_guard answered(awaited->mutex);
                                                       awaited->reply = std::move(reply);
                                                       MHD_resume_connection(connection);
                                                   });
        if (!posted) {
            awaited.reset();
            return Queue(connection, ErrorReply(503,
                                                "too many commands wait to be run; try "
                                                "again in a moment"));
        }
        MHD_suspend_connection(connection);
        return MHD_YES;
    }
};

WebServer::WebServer(Session& session, WebSettings settings, std::uint16_t port)
    : m_settings(std::move(settings)),
      m_port(port),
      m_guard({m_settings.tokenFile, IsLoopbackAddress(m_settings.address),
               m_settings.certFile.has_value(), [this](std::string_view line) { Report(line); }}),
      m_feed(m_settings.deviceKey, FirstEventId()),
      m_commands(m_settings.wake),
      m_api(session, m_guard, m_feed, m_settings.sources),
      m_lastBeat(std::chrono::steady_clock::now()) {}

WebServer::Started WebServer::Start(Session& session, WebSettings settings) {
    if (const std::string why = MakeTokenFile(settings.tokenFile); !why.empty()) {
        return {nullptr, 0, "cannot make the access token file " + settings.tokenFile + ": " + why};
    }
    const bool tls = settings.certFile.has_value();
    std::optional<std::string> cert = tls ? FileText(*settings.certFile) : std::nullopt;
    std::optional<std::string> key = tls ? FileText(*settings.keyFile) : std::nullopt;
    if (tls && (!cert || !key)) {
        return {nullptr, 0, "cannot read " + (cert ? *settings.keyFile : *settings.certFile)};
    }
    if (tls && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
        return {nullptr, 0, "this build of libmicrohttpd has no TLS"};
    }
    const int fd = ListenTcp(settings.address, settings.port);
    if (fd < 0) {
        return {nullptr, errno, ""};
    }
    std::unique_ptr<WebServer> server(new WebServer(session, std::move(settings), BoundPort(fd)));
    server->m_cert = cert.value_or("");
    server->m_key = key.value_or("");
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    if (tls) {
        flags |= MHD_USE_TLS;
    }
    errno = 0;
    // The TLS options are last: without TLS, MHD_OPTION_END before them ends the list.
    server->m_daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &WebExchange::Answer, server.get(), MHD_OPTION_LISTEN_SOCKET,
        fd, MHD_OPTION_THREAD_POOL_SIZE, kThreads, MHD_OPTION_CONNECTION_LIMIT, kMostConnections,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, kMostPerAddress, MHD_OPTION_CONNECTION_TIMEOUT,
        kIdleSeconds, MHD_OPTION_NOTIFY_COMPLETED, &WebExchange::Completed, nullptr,
        MHD_OPTION_UNESCAPE_CALLBACK, &LeaveEscaped, nullptr,
        tls ? MHD_OPTION_HTTPS_MEM_CERT : MHD_OPTION_END, server->m_cert.c_str(),
        MHD_OPTION_HTTPS_MEM_KEY, server->m_key.c_str(), MHD_OPTION_END);
    if (server->m_daemon == nullptr) {
        const int error = errno != 0 ? errno : EINVAL;
        close(fd);
        return {nullptr, error, tls ? "the certificate or its key was refused" : ""};
    }
    return {std::move(server), 0, ""};
}

std::string WebServer::Url() const {
    return HttpOrigin(m_settings.certFile.has_value(), m_settings.address, m_port) + "/";
}

void WebServer::Report(std::string_view line) {
    {
        std::lock_guard lock(m_reportsGuard);
        if (m_reports.size() >= kMostReports) {
            ++m_reportsLost;
            return;
        }
        m_reports.emplace_back(line);
    }
    m_settings.wake();
}

std::vector<std::string> WebServer::TakeReports() {
    std::lock_guard lock(m_reportsGuard);
    if (m_reportsLost > 0) {
        m_reports.push_back("web: " + std::to_string(std::exchange(m_reportsLost, 0)) +
                            " more lines not said: too many at once");
    }
    return std::exchange(m_reports, {});
}

void WebServer::Serve(std::chrono::steady_clock::time_point now) {
    if (now - m_lastBeat >= kBeatEvery) {
        m_lastBeat = now;
        m_feed.Hub().Beat();
    }
}

WebServer::~WebServer() {
    // Every connection set aside is woken first: the library closes none while it is aside.
    m_commands.Close();
    m_feed.Hub().Close();
    MHD_stop_daemon(m_daemon);
}

}  // namespace tarnwick
