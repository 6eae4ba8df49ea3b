#include "net/local_address.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarnwick {
namespace {

constexpr Ipv4 Ip(Ipv4 a, Ipv4 b, Ipv4 c, Ipv4 d) {
    return a << 24 | b << 16 | c << 8 | d;
}

const Ipv4 kDebianHostName = Ip(127, 0, 1, 1);
const Ipv4 kLoopback = Ip(127, 0, 0, 1);
const Ipv4 kLan = Ip(192, 168, 1, 20);
const Ipv4 kVpn = Ip(10, 8, 0, 2);

struct Row {
    const char* proves;
    std::vector<Ipv4> resolved;
    std::vector<Ipv4> interfaces;
    std::optional<Ipv4> chosen;
};

TEST(LocalAddressTest, PrefersWhatDevicesCanReach) {
    const std::vector<Row> rows = {
        {"one resolved address is shown", {kLan}, {}, kLan},
        {"the name's first non-loopback wins", {kDebianHostName, kVpn, kLan}, {kLan}, kVpn},
        {"a name mapped to 127.0.1.1 yields to an interface",
         {kDebianHostName},
         {kLoopback, kLan},
         kLan},
        {"an unresolvable name falls back to interfaces", {}, {kLoopback, kVpn, kLan}, kVpn},
        {"loopback only when nothing else", {kDebianHostName}, {kLoopback}, kDebianHostName},
        {"an interface loopback when the name gave nothing", {}, {kLoopback}, kLoopback},
        {"nothing at all gives nothing", {}, {}, std::nullopt},
        {"all of 127/8 is loopback",
         {Ip(127, 255, 255, 254)},
         {Ip(128, 0, 0, 1)},
         Ip(128, 0, 0, 1)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        EXPECT_EQ(ChooseLocalAddress(row.resolved, row.interfaces), row.chosen);
    }
}

TEST(LocalAddressTest, DottedTextKeepsByteOrder) {
    EXPECT_EQ(DottedText(kLan), "192.168.1.20");
    EXPECT_EQ(DottedText(Ip(255, 0, 10, 1)), "255.0.10.1");
}

}  // namespace
}  // namespace tarnwick
