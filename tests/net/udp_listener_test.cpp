#include "net/udp_listener.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <system_error>
#include <tuple>

#include "support/udp.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using test::Loopback;
using test::UdpPeer;

// The next datagram's sender, answered "@517" through the listener; empty when nothing came.
std::string AnswerNext(const UdpListener& listener, std::chrono::milliseconds patience) {
    pollfd entry{listener.Fd(), POLLIN, 0};
    if (poll(&entry, 1, static_cast<int>(patience.count())) <= 0) {
        return {};
    }
    char byte = 0;
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    recvfrom(listener.Fd(), &byte, 1, 0, reinterpret_cast<sockaddr*>(&from), &length);
    const PeerAddress sender = PeerAddress::From(from);
    sendto(listener.Fd(), "@517", 4, 0, sender.Sockaddr(), sender.Length());
    return sender.Text();
}

bool HasIpv6Loopback() {
    try {
        UdpPeer::BindLoopback(Loopback::Ipv6);
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

TEST(UdpListenerTest, ListensOnBothFamiliesOrOnTheOneAddressChosen) {
    constexpr Families kBoth = Families::Both;
    constexpr Families kIpv6Only = Families::Ipv6Only;
    if (!HasIpv6Loopback()) {
        GTEST_SKIP() << "this machine has no ::1";
    }
    const struct {
        const char* proves;
        const char* only;  // nullptr: every local address
        Families families;
        bool ipv4Heard;
        bool ipv6Heard;
        std::string notice;
    } rows[] = {
        {"one socket for both: the IPv4 sender is not named ::ffff:127.0.0.1", nullptr, kBoth, true,
         true, ""},
        {"bound to ::, every address of both families as without it", "::", kBoth, true, true, ""},
        {"IPv6 alone on every address", nullptr, kIpv6Only, false, true, "listening on IPv6 only"},
        {"IPv6 alone on ::", "::", kIpv6Only, false, true, "listening on IPv6 only"},
        {"bound to 127.0.0.1: ::1 is not heard", "127.0.0.1", kBoth, true, false,
         "listening on 127.0.0.1 only"},
        {"bound to ::1: 127.0.0.1 is not heard", "::1", kBoth, false, true,
         "listening on ::1 only"},
    };
    for (const auto& row : rows) {
        const auto only = row.only ? PeerAddress::FromText(row.only, 0) : std::nullopt;
        auto opened = UdpListener::Open(0, only, PortSharing::Alone, row.families);
        ASSERT_TRUE(opened.listener) << row.proves << ": " << std::strerror(opened.errorCode);
        const UdpListener& listener = *opened.listener;
        EXPECT_EQ(ReachNotice(listener.Place()), row.notice) << row.proves;
        for (const auto& [loopback, heard, text] :
             {std::tuple(Loopback::Ipv4, row.ipv4Heard, "127.0.0.1"),
              std::tuple(Loopback::Ipv6, row.ipv6Heard, "::1")}) {
            UdpPeer device = UdpPeer::BindLoopback(loopback);
            device.SendTo(listener.Port(), "#");
            EXPECT_EQ(AnswerNext(listener, heard ? 5000ms : 200ms), heard ? text : "")
                << row.proves;
            if (heard) {
                const auto answer = device.Receive(5000ms);
                EXPECT_EQ(answer.value_or(test::Datagram{}).bytes, "@517") << row.proves;
            }
        }
    }
}

TEST(UdpListenerTest, AnAddressNotOfThisMachineIsABindError) {
    // 192.0.2.1 is set aside for documentation: no machine holds it.
    const auto opened = UdpListener::Open(0, PeerAddress::FromText("192.0.2.1", 0));
    EXPECT_FALSE(opened.listener);
    EXPECT_EQ(opened.error, ListenError::Bind);
    EXPECT_EQ(opened.errorCode, EADDRNOTAVAIL);
}

TEST(UdpListenerTest, APortIsSharedOnlyByListenersThatAllShareIt) {
    auto first = UdpListener::Open(0, std::nullopt, PortSharing::Shared);
    ASSERT_TRUE(first.listener);
    const std::uint16_t port = first.listener->Port();
    EXPECT_EQ(ReachNotice(first.listener->Place()).ends_with("sharing the port with other centres"),
              true);
    EXPECT_TRUE(UdpListener::Open(port, std::nullopt, PortSharing::Shared).listener);
    const auto alone = UdpListener::Open(port, std::nullopt, PortSharing::Alone);
    EXPECT_EQ(alone.error, ListenError::Bind) << "a centre not sharing keeps its port from others";
}

std::uint64_t ReadAll(int fd) {
    std::array<char, 64> buffer{};
    std::uint64_t read = 0;
    while (recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT) >= 0) {
        ++read;
    }
    return read;
}

TEST(UdpListenerTest, DropsAreReadFromTheSocketWhileNothingMoreArrives) {
    auto opened = UdpListener::Open(0);
    ASSERT_TRUE(opened.listener);
    const UdpListener& listener = *opened.listener;
    EXPECT_EQ(listener.KernelDrops(), 0u);
    // Far more than the receive buffer holds, and nobody reading: the kernel drops the rest.
    constexpr std::uint64_t kSent = 40'000;
    test::UdpPeer device = test::UdpPeer::BindLoopback();
    for (std::uint64_t i = 0; i < kSent; ++i) {
        device.SendTo(listener.Port(), "#ST,123;A:1;#");
    }
    const std::uint64_t drops = listener.KernelDrops();
    EXPECT_GT(drops, 0u);
    EXPECT_EQ(ReadAll(listener.Fd()) + drops, kSent) << "every datagram read or counted";
}

}  // namespace
}  // namespace tarnwick
