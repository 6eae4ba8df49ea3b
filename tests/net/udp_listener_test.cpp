#include "net/udp_listener.h"

#include <sys/socket.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "support/udp.h"

namespace tarnwick {
namespace {

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
