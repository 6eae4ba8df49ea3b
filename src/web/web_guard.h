#pragma once

// Who may use the operator page's API, and from where: the access token (as a Bearer header,
// or a session cookie made at login), failed attempts limited per address, requests that
// change something only from the page's own origin, and while the server listens on loopback,
// only requests that name loopback as their host, so that a name rebound to 127.0.0.1 by
// another site reaches nothing.

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/attempt_limit.h"
#include "web/web_request.h"
#include "web/web_token.h"

namespace tarnwick {

inline constexpr std::string_view kSessionCookie = "tarnwick_session";

struct GuardSettings {
    std::string tokenFile;
    bool loopback = true;  // the server listens on loopback alone
    bool tls = false;
    // One line on standard error: a failed attempt, with the address.
    std::function<void(std::string_view line)> report;
};

class WebGuard {
public:
    using Clock = AttemptLimit::Clock;
    static constexpr std::size_t kMostSessions = 64;

    explicit WebGuard(GuardSettings settings);

    // A refusal for any request, before it is read further: a host that is not loopback while
    // listening there, a change from another origin. Nothing when it may go on.
    [[nodiscard]] std::optional<WebReply> Refusal(const WebRequest& request) const;
    // Whether the request carries the token, or a session made with the token as it is now;
    // nothing when it does, else its refusal (401, or 429 past the limit).
    [[nodiscard]] std::optional<WebReply> Unauthorized(const WebRequest& request,
                                                       Clock::time_point now);
    // POST /api/login: 204 with the session cookie, 401, 400 or 429.
    [[nodiscard]] WebReply Login(const WebRequest& request, Clock::time_point now);
    // POST /api/logout: the session ends, 204, and the browser is told to drop the cookie.
    [[nodiscard]] WebReply Logout(const WebRequest& request);

private:
    struct SessionEntry {
        std::string id;
        std::string token;  // the token it was made with: a new token ends it
    };

    [[nodiscard]] bool SessionValid(std::string_view id);
    [[nodiscard]] std::optional<WebReply> Limited(const WebRequest& request, Clock::time_point now);
    WebReply Failed(const WebRequest& request, Clock::time_point now, std::string_view how);
    [[nodiscard]] std::string CookieHeader(std::string_view value, bool expire) const;

    GuardSettings m_settings;
    WebToken m_token;
    AttemptLimit m_attempts;
    std::mutex m_mutex;
    std::vector<SessionEntry> m_sessions;  // oldest first
};

// The value of cookie name in a Cookie header; empty when it has none.
[[nodiscard]] std::string_view CookieValue(std::string_view header, std::string_view name);

// Whether a Host header names loopback: localhost, 127.0.0.0/8 or [::1], with or without a port.
[[nodiscard]] bool HostIsLoopback(std::string_view host);

}  // namespace tarnwick
