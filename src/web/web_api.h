#pragma once

// The operator page's API, request by request, with no socket: what each path answers, what
// it refuses and why. The server in front of it reads requests and writes answers; a command
// goes to the front end's thread and its answer comes back later; the event stream is the
// server's to keep open.

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "session/counters.h"
#include "web/device_index.h"
#include "web/event_hub.h"
#include "web/page_commands.h"
#include "web/page_feed.h"
#include "web/static_files.h"
#include "web/web_guard.h"
#include "web/web_request.h"

namespace tarnwick {

class Session;

// The broker's state and backlog, as the window's notice has them, and how long ago the last
// acknowledged record was logged.
struct BrokerFigures {
    std::string state;
    std::uint64_t backlog = 0;
    std::uint64_t backlogSeconds = 0;
};

// What the API reads besides the session, each from any thread.
struct ApiSources {
    std::function<std::optional<BrokerFigures>()> broker;  // nothing without --mqtt
};

// What a request leads to: an answer now, a command to run, or the event stream.
struct ApiAnswer {
    std::optional<WebReply> reply = {};
    std::optional<PageCommand> command = {};
    std::optional<EventHub::Cursor> events = {};
};

class WebApi {
public:
    WebApi(Session& session, WebGuard& guard, PageFeed& feed, ApiSources sources);

    [[nodiscard]] ApiAnswer Answer(const WebRequest& request);

private:
    [[nodiscard]] ApiAnswer Api(const WebRequest& request);
    [[nodiscard]] WebReply Devices(const WebRequest& request);
    [[nodiscard]] WebReply Device(const std::string& key);
    [[nodiscard]] ApiAnswer Command(const WebRequest& request, const std::string& key);
    [[nodiscard]] WebReply Counters();

    Session& m_session;
    WebGuard& m_guard;
    PageFeed& m_feed;
    ApiSources m_sources;
    DeviceIndex m_index;
};

// The path's %XX escapes decoded (and '+' as a blank in a query); nothing for a broken escape.
[[nodiscard]] std::optional<std::string> PercentDecoded(std::string_view text, bool query);

}  // namespace tarnwick
