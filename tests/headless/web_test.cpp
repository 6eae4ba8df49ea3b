// --web against the real headless centre, as a script and an attacker would use it: the token
// is needed and limited in its attempts, a command from another site sends nothing, a host that
// is not loopback reaches nothing, TLS works with a certificate made here, clients that hold
// connections keep no answer from flowing, and the event stream resumes without a gap and
// costs nothing for a reader that never reads.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/http_client.h"
#include "support/numbered_devices.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "support/udp.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kTimeout = 10s;
constexpr const char* kToken = "a-test-token-of-some-length";

// The port of the line "tarnwick: operator page on http(s)://127.0.0.1:PORT/; ...".
std::uint16_t PagePort(ChildProcess& centre) {
    const auto line = centre.WaitForStderrLine(StartsWith("tarnwick: operator page on "), kTimeout);
    if (!line) {
        return 0;
    }
    const auto colon = line->find(':', line->find("//"));
    return static_cast<std::uint16_t>(std::stoul(line->substr(colon + 1)));
}

class WebTest : public ::testing::Test {
protected:
    void Start(std::vector<std::string> more = {}) {
        WriteFile(m_temp.PathOf("token"), std::string(kToken) + "\n");
        std::vector<std::string> argv = {TARNWICK_EXE,
                                         "--headless",
                                         "--port",
                                         "0",
                                         "--auto-reply",
                                         "--log-dir",
                                         m_temp.PathOf("logs"),
                                         "--web-token-file",
                                         m_temp.PathOf("token")};
        argv.insert(argv.end(), more.begin(), more.end());
        if (std::ranges::find(argv, "--web") == argv.end()) {
            argv.insert(argv.end(), {"--web", "0"});
        }
        m_centre.emplace(ChildProcess::Start(argv));
        m_port = ListeningPort(*m_centre, kTimeout);
        ASSERT_NE(m_port, 0) << m_centre->Stderr();
        m_web = PagePort(*m_centre);
        ASSERT_NE(m_web, 0) << m_centre->Stderr();
    }

    // A request with the Host of the page and the headers given, each ending in CR LF.
    std::optional<HttpReply> Ask(const std::string& method, const std::string& path,
                                 const std::string& headers = "", const std::string& body = "",
                                 const char* from = "127.0.0.1") {
        const std::string request =
            method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(m_web) +
            "\r\nConnection: close\r\n" + headers +
            "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        return HttpExchange(m_web, request, kTimeout, from);
    }
    static std::string Bearer(const std::string& token = kToken) {
        return "Authorization: Bearer " + token + "\r\n";
    }
    std::string Origin() const {
        return "Origin: http://127.0.0.1:" + std::to_string(m_web) + "\r\n";
    }

    TempFolder m_temp;
    std::optional<ChildProcess> m_centre;
    std::uint16_t m_port = 0;
    std::uint16_t m_web = 0;
};

TEST_F(WebTest, RefusesWhatLacksTheTokenALoopbackHostOrThePagesOwnOrigin) {
    Start();
    UdpPeer device = UdpPeer::BindLoopback();
    device.SendTo(m_port, "#ST,123;STA:1;#");
    ASSERT_EQ(device.Receive(kTimeout)->bytes, "@517");
    const std::string key = "127.0.0.1:" + std::to_string(device.Port());
    const std::string commands = "/api/devices/" + key + "/commands";
    const std::string body = R"({"text":"FIRST","hold":false})";
    struct Row {
        const char* proves;
        std::string method, path, headers, body;
        int status;
    };
    const std::vector<Row> rows = {
        {"no token", "GET", "/api/counters", "", "", 401},
        {"a command from another site", "POST", commands,
         Bearer() + "Origin: http://evil.example\r\n", body, 403},
        {"a command a browser marks cross-site", "POST", commands,
         Bearer() + "Sec-Fetch-Site: cross-site\r\n", body, 403},
        {"a foreign origin even for a login", "POST", "/api/login",
         "Origin: http://evil.example\r\n", std::string(R"({"token":")") + kToken + "\"}", 403},
        {"malformed JSON", "POST", commands, Bearer() + Origin(), "{\"text\":", 400},
        {"an unknown key", "POST", commands, Bearer() + Origin(),
         R"({"text":"A","hold":false,"at":1})", 400},
        {"hex that is no hex", "POST", commands, Bearer() + Origin(),
         R"({"text":"hex:38 zz","hold":false})", 400},
        {"a body over 64 KiB", "POST", commands, Bearer() + Origin(), std::string(70 * 1024, ' '),
         413},
        {"no such device", "GET", "/api/devices/nobody", Bearer(), "", 404},
    };
    for (const Row& row : rows) {
        const auto reply = Ask(row.method, row.path, row.headers, row.body);
        ASSERT_TRUE(reply) << row.proves;
        EXPECT_EQ(reply->status, row.status) << row.proves << ": " << reply->body;
        EXPECT_TRUE(reply->body.starts_with("{\"error\":")) << row.proves << ": " << reply->body;
    }
    const auto notHex = Ask("POST", commands, Bearer() + Origin(), R"({"text":"hex:38 zz"})");
    EXPECT_NE(notHex->body.find("stops being hex at character 4"), std::string::npos)
        << notHex->body;

    const std::string request =
        "GET /api/counters HTTP/1.1\r\nHost: rebound.example:" + std::to_string(m_web) + "\r\n" +
        Bearer() + "Connection: close\r\n\r\n";
    EXPECT_EQ(HttpExchange(m_web, request, kTimeout)->status, 403) << "a host not loopback";

    // The first command the device hears is the one sent from the page itself.
    const auto sent = Ask("POST", commands, Bearer() + Origin(), R"({"text":"SECOND"})");
    ASSERT_EQ(sent->status, 200) << sent->body;
    EXPECT_EQ(sent->body, R"({"state":"sent"})");
    EXPECT_EQ(device.Receive(kTimeout)->bytes, "#517SECOND");
    EXPECT_TRUE(
        m_centre->WaitForStderrLine(StartsWith("tarnwick: web command from 127.0.0.1 for device " +
                                               key + ", now: \"SECOND\": sent"),
                                    kTimeout))
        << m_centre->Stderr();
}

TEST_F(WebTest, LimitsFailedAttemptsPerAddressAndANewTokenRevokesTheOld) {
    Start();
    for (int attempt = 0; attempt < 5; ++attempt) {
        EXPECT_EQ(Ask("GET", "/api/counters", Bearer("wrong"))->status, 401);
    }
    const auto limited = Ask("GET", "/api/counters", Bearer());
    EXPECT_EQ(limited->status, 429);
    EXPECT_NE(limited->head.find("Retry-After: "), std::string::npos) << limited->head;
    EXPECT_TRUE(m_centre->WaitForStderrLine(
        StartsWith("tarnwick: web: wrong access token from 127.0.0.1"), kTimeout));
    // Another address is not held back by the first one's failures.
    const auto login = Ask("POST", "/api/login", Origin(),
                           std::string(R"({"token":")") + kToken + "\"}", "127.0.0.2");
    ASSERT_EQ(login->status, 204) << login->body;
    const auto cookieAt = login->head.find("Set-Cookie: tarnwick_session=");
    ASSERT_NE(cookieAt, std::string::npos) << login->head;
    const std::string cookie =
        login->head.substr(cookieAt + 12, login->head.find(';', cookieAt) - cookieAt - 12);
    EXPECT_NE(login->head.find("HttpOnly; SameSite=Strict"), std::string::npos) << login->head;
    EXPECT_EQ(Ask("GET", "/api/counters", "Cookie: " + cookie + "\r\n", "", "127.0.0.2")->status,
              200);

    WriteFile(m_temp.PathOf("token"), "a-new-token\n");
    EXPECT_EQ(Ask("GET", "/api/counters", "Cookie: " + cookie + "\r\n", "", "127.0.0.2")->status,
              401);
    EXPECT_EQ(Ask("GET", "/api/counters", Bearer("a-new-token"), "", "127.0.0.2")->status, 200);
}

TEST_F(WebTest, ServesOverTlsWithACertificateMadeHere) {
    ChildProcess openssl = ChildProcess::Start(
        {"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
         "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
         m_temp.PathOf("key.pem"), "-out", m_temp.PathOf("cert.pem")});
    ASSERT_EQ(openssl.Wait(kTimeout), 0) << openssl.Stderr();
    Start({"--web-cert", m_temp.PathOf("cert.pem"), "--web-key", m_temp.PathOf("key.pem")});
    ChildProcess curl = ChildProcess::Start(
        {"/usr/bin/curl", "--silent", "--show-error", "--cacert", m_temp.PathOf("cert.pem"),
         "--header", "Authorization: Bearer " + std::string(kToken),
         "https://127.0.0.1:" + std::to_string(m_web) + "/api/counters"});
    ASSERT_EQ(curl.Wait(kTimeout), 0) << curl.Stderr();
    EXPECT_TRUE(curl.Stdout().starts_with("{\"broker\":null,\"counters\":{")) << curl.Stdout();
    // Plain HTTP to the TLS port gets no answer.
    const auto plain = Ask("GET", "/api/counters", Bearer());
    EXPECT_TRUE(!plain || plain->status != 200);
}

TEST_F(WebTest, RefusesANonLoopbackAddressWithoutTlsAtStart) {
    ChildProcess centre =
        ChildProcess::Start({TARNWICK_EXE, "--headless", "--port", "0", "--log-dir",
                             m_temp.PathOf("logs"), "--web", "0.0.0.0:0"});
    EXPECT_EQ(centre.Wait(kTimeout), 2);
    EXPECT_NE(centre.Stderr().find("give --web-cert FILE and --web-key FILE, or --web-insecure"),
              std::string::npos)
        << centre.Stderr();
}

TEST_F(WebTest, IdleAndSlowClientsKeepNeitherAnswersNorAnotherClientWaiting) {
    Start();
    std::vector<int> idle;
    for (int i = 0; i < 200; ++i) {
        idle.push_back(ConnectLoopback(m_web, Connect::DoNotWait));
    }
    const int slow = ConnectLoopback(m_web, Connect::Wait, "127.0.0.3");
    ASSERT_GE(slow, 0);
    ASSERT_EQ(send(slow, "G", 1, MSG_NOSIGNAL), 1);

    NumberedDevices devices(m_port, 4);
    devices.Run(200, kTimeout);
    EXPECT_EQ(devices.AnsweredCount(), 200u);
    ASSERT_EQ(send(slow, "E", 1, MSG_NOSIGNAL), 1);
    const auto reply = Ask("GET", "/api/counters", Bearer(), "", "127.0.0.2");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    for (const int fd : idle) {
        close(fd);
    }
    close(slow);
    EXPECT_EQ(m_centre->Signal(SIGTERM), 0);
    EXPECT_EQ(m_centre->Wait(kTimeout), 0) << m_centre->Stderr();
}

// The "id: N" lines of an event stream's text, with the data line after each.
std::vector<std::pair<std::uint64_t, std::string>> EventsOf(const std::string& text) {
    std::vector<std::pair<std::uint64_t, std::string>> events;
    for (std::size_t at = text.find("id: "); at != std::string::npos;
         at = text.find("id: ", at + 1)) {
        const auto data = text.find("data: ", at);
        events.emplace_back(std::stoull(text.substr(at + 4)),
                            text.substr(data + 6, text.find('\n', data) - data - 6));
    }
    return events;
}

TEST_F(WebTest, LastEventIdResumesWithoutAGapAndAReaderThatNeverReadsLosesItsOldest) {
    Start();
    const std::string stream = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n" + Bearer();
    const int never = ConnectLoopback(m_web);
    const int small = 4096;
    setsockopt(never, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    const std::string neverRequest = stream + "\r\n";
    ASSERT_EQ(send(never, neverRequest.data(), neverRequest.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(neverRequest.size()));
    ASSERT_NE(ReadUntil(never, "\r\n\r\n", kTimeout).find("200 OK"), std::string::npos);

    const int first = ConnectLoopback(m_web);
    const std::string request = stream + "\r\n";
    ASSERT_EQ(send(first, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    ASSERT_NE(ReadUntil(first, "\r\n\r\n", kTimeout).find("200 OK"), std::string::npos);
    NumberedDevices devices(m_port, 1);
    devices.Run(10, kTimeout);
    const auto seen = EventsOf(ReadUntil(first, "SEQ:0-9;", kTimeout));
    ASSERT_EQ(seen.size(), 10u);
    close(first);

    devices.Run(20, kTimeout);  // ten more: Run counts from the first record

    const int again = ConnectLoopback(m_web);
    const std::string resume =
        stream + "Last-Event-ID: " + std::to_string(seen[4].first) + "\r\n\r\n";
    ASSERT_EQ(send(again, resume.data(), resume.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(resume.size()));
    const auto resumed = EventsOf(ReadUntil(again, "SEQ:0-19;", kTimeout));
    close(again);
    ASSERT_EQ(resumed.size(), 15u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(resumed[i].first, seen[5 + i].first);
        EXPECT_EQ(resumed[i].second, seen[5 + i].second);
    }
    for (std::size_t i = 1; i < resumed.size(); ++i) {
        EXPECT_EQ(resumed[i].first, resumed[i - 1].first + 1) << "a gap after " << i;
    }

    NumberedDevices flood(m_port, 8);
    flood.Run(20'000, kTimeout);
    // The reader that never read gets what the sockets' buffers took and then either what it
    // lost, told, or its connection closed for want of progress: never the whole flood, which
    // the centre kept for no one.
    const std::string late = ReadUntil(never, "event: lost\ndata: {\"count\":", kTimeout);
    const std::size_t floodBytes =
        20'000 *
        std::string(
            R"(id: 1796813255850470 event: record data: {"key":"127.0.0.1:40000","line":"127.0.0.1 (40000):#ST,123;SEQ:0-0;#"})")
            .size();
    EXPECT_LT(late.size(), floodBytes / 2) << late.substr(0, 300);
    close(never);
}

}  // namespace
}  // namespace tarnwick::test
