// The metrics server against clients that try to hold it: idle connections by the hundred and
// clients that trickle a request a byte at a time, all from the scraper's own address.

#include "metrics/metrics_server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "support/http_client.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

TEST(MetricsServerTest, NeitherIdleNorTricklingClientsKeepAScrapeOut) {
    auto started = MetricsServer::Start("127.0.0.1", 0, [] { return std::string("up 1\n"); });
    ASSERT_TRUE(started.server) << started.error;
    const std::uint16_t port = started.server->Port();

    std::vector<int> idle;
    for (int i = 0; i < 200; ++i) {
        idle.push_back(ConnectLoopback(port, Connect::DoNotWait));
    }
    constexpr std::string_view kRequest = "GET /metrics HTTP/1.1\r\nHost: x\r\n";
    std::vector<int> tricklers;
    for (int i = 0; i < 32; ++i) {
        tricklers.push_back(ConnectLoopback(port, Connect::DoNotWait));
    }
    // Each trickler sends its next byte between the scraper's tries, as often as it may.
    for (std::size_t sent = 0; sent < kRequest.size(); ++sent) {
        for (const int fd : tricklers) {
            send(fd, &kRequest[sent], 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        if (sent % 8 == 7) {
            const auto reply = HttpGet(port, "/metrics", 10s);
            ASSERT_TRUE(reply) << "after " << sent + 1 << " bytes";
            EXPECT_EQ(reply->status, 200);
            EXPECT_EQ(reply->body, "up 1\n");
        }
    }
    for (const int fd : idle) {
        close(fd);
    }
    for (const int fd : tricklers) {
        close(fd);
    }
}

}  // namespace
}  // namespace tarnwick::test
