#include "web/web_guard.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "net/peer_address.h"

namespace tarnwick {
namespace {

bool Changes(const WebRequest& request) {
    return request.method != "GET" && request.method != "HEAD" && request.method != "OPTIONS";
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::string_view CookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const auto end = header.find(';');
        const std::string_view pair = Trimmed(header.substr(0, end));
        if (pair.size() > name.size() && pair.starts_with(name) && pair[name.size()] == '=') {
            return pair.substr(name.size() + 1);
        }
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
    }
    return {};
}

bool HostIsLoopback(std::string_view host) {
    std::string_view name = host;
    if (name.starts_with('[')) {
        const auto close = name.find(']');
        if (close == std::string_view::npos ||
            (close + 1 < name.size() && name[close + 1] != ':')) {
            return false;
        }
        name = name.substr(1, close - 1);
    } else if (const auto colon = name.rfind(':'); colon != std::string_view::npos) {
        name = name.substr(0, colon);
    }
    if (name == "localhost") {
        return true;
    }
    const auto address = PeerAddress::FromText(std::string(name), 0);
    return address && address->IsLoopback();
}

WebReply ErrorReply(unsigned status, std::string_view words) {
    return {status, nlohmann::json{{"error", words}}.dump()};
}

WebGuard::WebGuard(GuardSettings settings)
    : m_settings(std::move(settings)), m_token(m_settings.tokenFile) {}

std::optional<WebReply> WebGuard::Refusal(const WebRequest& request) const {
    const std::string_view host = request.Header("host");
    if (m_settings.loopback && !HostIsLoopback(host)) {
        return ErrorReply(403, "this page answers only to a loopback host name, not \"" +
                                   std::string(host) + "\"");
    }
    if (!Changes(request)) {
        return std::nullopt;
    }
    const std::string own = (m_settings.tls ? "https://" : "http://") + std::string(host);
    const std::string_view origin = request.Header("origin");
    const std::string_view site = request.Header("sec-fetch-site");
    const bool foreign =
        !origin.empty() ? origin != own : !site.empty() && site != "same-origin" && site != "none";
    if (foreign) {
        return ErrorReply(403, "a change is taken only from the page itself, not from \"" +
                                   std::string(origin.empty() ? site : origin) + "\"");
    }
    return std::nullopt;
}

std::optional<WebReply> WebGuard::Limited(const WebRequest& request, Clock::time_point now) {
    const auto wait = m_attempts.Refused(request.client, now);
    if (!wait) {
        return std::nullopt;
    }
    WebReply reply = ErrorReply(429, "too many failed attempts from " + request.client +
                                         "; try again in " + std::to_string(wait->count()) + " s");
    reply.headers.emplace_back("Retry-After", std::to_string(wait->count()));
    return reply;
}

WebReply WebGuard::Failed(const WebRequest& request, Clock::time_point now, std::string_view how) {
    m_attempts.Failed(request.client, now);
    m_settings.report("web: wrong access token from " + request.client + " (" + std::string(how) +
                      ")");
    return ErrorReply(401, "wrong access token");
}

std::optional<WebReply> WebGuard::Unauthorized(const WebRequest& request, Clock::time_point now) {
    if (auto limited = Limited(request, now)) {
        return limited;
    }
    const std::string_view authorization = request.Header("authorization");
    if (!authorization.empty()) {
        constexpr std::string_view kBearer = "Bearer ";
        if (authorization.starts_with(kBearer) &&
            m_token.Accepts(authorization.substr(kBearer.size()))) {
            return std::nullopt;
        }
        return Failed(request, now, "Authorization header");
    }
    const std::string_view session = CookieValue(request.Header("cookie"), kSessionCookie);
    if (!session.empty() && SessionValid(session)) {
        return std::nullopt;
    }
    return ErrorReply(401, "log in with the access token first");
}

bool WebGuard::SessionValid(std::string_view id) {
    std::string token;
    {
        std::lock_guard lock(m_mutex);
        const auto found = std::ranges::find_if(
            m_sessions, [id](const SessionEntry& entry) { return SameSecret(entry.id, id); });
        if (found == m_sessions.end()) {
            return false;
        }
        token = found->token;
    }
    return m_token.Accepts(token);
}

WebReply WebGuard::Login(const WebRequest& request, Clock::time_point now) {
    if (auto limited = Limited(request, now)) {
        return *limited;
    }
    const nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (!body.is_object() || body.size() != 1 || !body.contains("token") ||
        !body["token"].is_string()) {
        return ErrorReply(400, "a login is {\"token\": \"...\"}");
    }
    const std::string token = body["token"].get<std::string>();
    if (!m_token.Accepts(token)) {
        return Failed(request, now, "login");
    }
    SessionEntry entry{RandomSecret(), token};
    WebReply reply{204, "", "", {{"Set-Cookie", CookieHeader(entry.id, false)}}};
    std::lock_guard lock(m_mutex);
    if (m_sessions.size() >= kMostSessions) {
        m_sessions.erase(m_sessions.begin());
    }
    m_sessions.push_back(std::move(entry));
    return reply;
}

WebReply WebGuard::Logout(const WebRequest& request) {
    const std::string_view session = CookieValue(request.Header("cookie"), kSessionCookie);
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_sessions, [session](const SessionEntry& entry) {
            return !session.empty() && SameSecret(entry.id, session);
        });
    }
    return {204, "", "", {{"Set-Cookie", CookieHeader("", true)}}};
}

std::string WebGuard::CookieHeader(std::string_view value, bool expire) const {
    std::string header = std::string(kSessionCookie) + "=" + std::string(value) +
                         "; Path=/; HttpOnly; SameSite=Strict";
    if (m_settings.tls) {
        header += "; Secure";
    }
    if (expire) {
        header += "; Max-Age=0";
    }
    return header;
}

}  // namespace tarnwick
