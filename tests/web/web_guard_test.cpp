// Who may use the operator page: the host a request names, the origin of a change, the token
// and its sessions, and the limit on failed attempts.

#include "web/web_guard.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

WebRequest Request(std::string method, std::map<std::string, std::string> header) {
    WebRequest request;
    request.method = std::move(method);
    request.path = "/api/devices";
    request.header = std::move(header);
    request.client = "127.0.0.1";
    return request;
}

TEST(WebGuardTest, TakesOnlyLoopbackHostsAndChangesFromThePagesOwnOrigin) {
    test::TempFolder temp;
    WebGuard guard({temp.PathOf("token"), true, false, [](std::string_view) {}});
    struct Row {
        const char* proves;
        WebRequest request;
        bool refused;
    };
    const std::vector<Row> rows = {
        {"localhost with a port", Request("GET", {{"host", "localhost:8080"}}), false},
        {"127.0.0.1", Request("GET", {{"host", "127.0.0.1"}}), false},
        {"any of 127/8", Request("GET", {{"host", "127.9.9.9:80"}}), false},
        {"IPv6 loopback", Request("GET", {{"host", "[::1]:8080"}}), false},
        {"a name rebound to loopback", Request("GET", {{"host", "evil.example:8080"}}), true},
        {"a name that begins like loopback", Request("GET", {{"host", "127.0.0.1.evil.example"}}),
         true},
        {"no host", Request("GET", {}), true},
        {"a read from anywhere", Request("GET", {{"host", "[::1]"}, {"origin", "http://x"}}),
         false},
        {"a change from the page",
         Request("POST", {{"host", "[::1]:8"}, {"origin", "http://[::1]:8"}}), false},
        {"a change from another port",
         Request("POST", {{"host", "[::1]:8"}, {"origin", "http://[::1]:9"}}), true},
        {"a change from https of the same host",
         Request("DELETE", {{"host", "[::1]:8"}, {"origin", "https://[::1]:8"}}), true},
        {"a change a browser marks cross-site",
         Request("POST", {{"host", "[::1]:8"}, {"sec-fetch-site", "cross-site"}}), true},
        {"a change a browser marks same-site, not same-origin",
         Request("POST", {{"host", "[::1]:8"}, {"sec-fetch-site", "same-site"}}), true},
        {"a change typed by a person",
         Request("POST", {{"host", "[::1]:8"}, {"sec-fetch-site", "none"}}), false},
        {"a change from a script", Request("POST", {{"host", "[::1]:8"}}), false},
    };
    for (const Row& row : rows) {
        const auto refusal = guard.Refusal(row.request);
        EXPECT_EQ(refusal.has_value(), row.refused) << row.proves;
        if (refusal) {
            EXPECT_EQ(refusal->status, 403u) << row.proves;
        }
    }
}

TEST(WebGuardTest, ANewTokenEndsTheOldOnesSessionsAndFailuresAreLimitedPerAddress) {
    test::TempFolder temp;
    test::WriteFile(temp.PathOf("token"), "first\n");
    std::vector<std::string> said;
    WebGuard guard({temp.PathOf("token"), true, true,
                    [&said](std::string_view line) { said.emplace_back(line); }});
    const auto now = WebGuard::Clock::now();
    WebRequest login = Request("POST", {{"host", "localhost"}});
    login.body = R"({"token":"first"})";
    const WebReply made = guard.Login(login, now);
    ASSERT_EQ(made.status, 204u);
    const std::string cookie = made.headers.at(0).second;
    EXPECT_TRUE(cookie.ends_with("; Path=/; HttpOnly; SameSite=Strict; Secure")) << cookie;
    const std::string session = cookie.substr(0, cookie.find(';'));
    EXPECT_FALSE(guard.Unauthorized(Request("GET", {{"cookie", "a=b; " + session}}), now));

    test::WriteFile(temp.PathOf("token"), "second\n");
    EXPECT_EQ(guard.Unauthorized(Request("GET", {{"cookie", session}}), now)->status, 401u);
    EXPECT_FALSE(guard.Unauthorized(Request("GET", {{"authorization", "Bearer second"}}), now));
    EXPECT_TRUE(said.empty()) << "a stale session is no attempt at the token";

    const WebRequest wrong = Request("GET", {{"authorization", "Bearer first"}});
    for (std::size_t i = 0; i < AttemptLimit::kFailuresAllowed; ++i) {
        EXPECT_EQ(guard.Unauthorized(wrong, now + std::chrono::seconds(i))->status, 401u);
    }
    EXPECT_EQ(said.size(), AttemptLimit::kFailuresAllowed);
    EXPECT_EQ(said.back(), "web: wrong access token from 127.0.0.1 (Authorization header)");
    const auto limited =
        guard.Unauthorized(Request("GET", {{"authorization", "Bearer second"}}), now + 10s);
    ASSERT_TRUE(limited);
    EXPECT_EQ(limited->status, 429u);
    EXPECT_EQ(limited->headers.at(0), (std::pair<std::string, std::string>{"Retry-After", "50"}));
    WebRequest elsewhere = Request("GET", {{"authorization", "Bearer second"}});
    elsewhere.client = "127.0.0.2";
    EXPECT_FALSE(guard.Unauthorized(elsewhere, now + 10s));
    EXPECT_FALSE(
        guard.Unauthorized(Request("GET", {{"authorization", "Bearer second"}}), now + 61s));
}

TEST(WebGuardTest, AFileThatCannotBeReadOrHoldsNoTokenAcceptsNothing) {
    test::TempFolder temp;
    for (const char* text : {"", "\n", "\r\n"}) {
        test::WriteFile(temp.PathOf("token"), text);
        WebToken token(temp.PathOf("token"));
        EXPECT_FALSE(token.Accepts("")) << '"' << text << '"';
    }
    WebToken missing(temp.PathOf("none"));
    EXPECT_FALSE(missing.Accepts(""));
    EXPECT_EQ(MakeTokenFile(temp.PathOf("made")), "");
    struct stat info {};
    ASSERT_EQ(stat(temp.PathOf("made").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string made = test::ReadFile(temp.PathOf("made"));
    EXPECT_EQ(made.size(), 65u);
    WebToken token(temp.PathOf("made"));
    EXPECT_TRUE(token.Accepts(made.substr(0, 64)));
    EXPECT_EQ(MakeTokenFile(temp.PathOf("made")), "") << "an existing file is kept";
    EXPECT_EQ(test::ReadFile(temp.PathOf("made")), made);
}

}  // namespace
}  // namespace tarnwick
