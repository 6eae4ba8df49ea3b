#pragma once

// The operator page over HTTP (or HTTPS): the library's own threads serve every client,
// event-driven, so a client that sends slowly or never reads holds a connection, not a thread.
// Connections are bounded in number, per client address and in idle time. A command waits,
// its connection set aside, until the front end has run it; an event stream waits, set aside,
// until the next event. Nothing here blocks the front end, the log stage or the receive thread:
// they publish into the feed and serve the commands, and the web threads read.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/device_key.h"
#include "web/page_commands.h"
#include "web/page_feed.h"
#include "web/web_api.h"
#include "web/web_guard.h"

struct MHD_Daemon;

namespace tarnwick {

class Session;

struct WebSettings {
    std::string address = "127.0.0.1";
    std::uint16_t port = 0;
    std::string tokenFile;  // made with a random token when missing
    std::optional<std::string> certFile;
    std::optional<std::string> keyFile;
    DeviceKeyRule deviceKey;
    std::function<void()> wake;  // the front end's: a command or a report waits
    ApiSources sources;
};

class WebServer {
public:
    static constexpr unsigned kMostConnections = 256;
    static constexpr unsigned kMostPerAddress = 64;
    static constexpr unsigned kIdleSeconds = 10;
    static constexpr unsigned kThreads = 2;
    static constexpr std::size_t kMostBody = 64 * 1024;
    static constexpr auto kBeatEvery = std::chrono::seconds(15);
    static constexpr std::size_t kMostReports = 1000;

    struct Started {
        std::unique_ptr<WebServer> server;
        int error = 0;    // errno of the failed step
        std::string why;  // what failed, when it was not the socket
    };
    static Started Start(Session& session, WebSettings settings);

    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;
    // Answers the commands still queued, ends the event streams, closes every connection and
    // joins the threads.
    ~WebServer();

    [[nodiscard]] std::uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:8080/", "https://[::1]:8443/"
    [[nodiscard]] std::string Url() const;

    // The front end's thread.
    [[nodiscard]] PageFeed& Feed() { return m_feed; }
    [[nodiscard]] PageCommands& Commands() { return m_commands; }
    // What the operator should hear from the web threads since the last call: failed attempts
    // at the token, with their addresses.
    [[nodiscard]] std::vector<std::string> TakeReports();
    // At least once a second: a keep-alive for every event stream now and then, so that a
    // connection whose client has gone is found.
    void Serve(std::chrono::steady_clock::time_point now);

private:
    WebServer(Session& session, WebSettings settings, std::uint16_t port);
    void Report(std::string_view line);

    WebSettings m_settings;
    std::uint16_t m_port;
    std::mutex m_reportsGuard;
    std::vector<std::string> m_reports;
    std::uint64_t m_reportsLost = 0;  // past kMostReports, counted
    WebGuard m_guard;
    PageFeed m_feed;
    PageCommands m_commands;
    WebApi m_api;
    std::string m_cert;  // PEM, for the library as long as it runs
    std::string m_key;
    std::chrono::steady_clock::time_point m_lastBeat;
    MHD_Daemon* m_daemon = nullptr;

    friend struct WebExchange;
};

}  // namespace tarnwick
