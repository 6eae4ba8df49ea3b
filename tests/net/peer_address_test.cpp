#include "net/peer_address.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tarnwick {
namespace {

TEST(PeerAddressTest, AnAddressIsShownOneWayWhateverFamilyItCameIn) {
    const struct {
        const char* proves;
        const char* text;
        const char* shown;  // nullptr: no address
        bool ipv6;
    } rows[] = {
        {"dotted decimal", "192.168.1.20", "192.168.1.20", false},
        {"octets of every width", "0.10.200.255", "0.10.200.255", false},
        {"IPv6 in its short form", "2001:0db8:0:0:0:0:0:7", "2001:db8::7", true},
        {"loopback", "::1", "::1", true},
        {"a mapped IPv4 address is that IPv4 address", "::ffff:192.168.1.20", "192.168.1.20",
         false},
        {"a host name is no address", "localhost", nullptr, false},
        {"brackets are no part of the address", "[::1]", nullptr, false},
    };
    for (const auto& row : rows) {
        const auto address = PeerAddress::FromText(row.text, 5000);
        ASSERT_EQ(address.has_value(), row.shown != nullptr) << row.proves;
        if (address) {
            EXPECT_EQ(address->Text(), row.shown) << row.proves;
            EXPECT_EQ(address->Port(), 5000) << row.proves;
            EXPECT_EQ(address->IsIpv6(), row.ipv6) << row.proves;
        }
    }
}

TEST(PeerAddressTest, AddressesCompareAndOrderByFamilyAddressAndPort) {
    const auto v4 = *PeerAddress::FromText("10.0.0.9", 80);
    const auto v4Later = *PeerAddress::FromText("10.0.0.10", 80);
    const auto v4OtherPort = *PeerAddress::FromText("10.0.0.9", 81);
    const auto v6 = *PeerAddress::FromText("::1", 80);
    EXPECT_EQ(v4, *PeerAddress::FromText("::ffff:10.0.0.9", 80));
    EXPECT_NE(v4, v4OtherPort);
    EXPECT_EQ(v4.Hash(), PeerAddress::FromText("::ffff:10.0.0.9", 80)->Hash());
    EXPECT_LT(v4.OrderKey(), v4Later.OrderKey()) << "numerically, not as text";
    EXPECT_LT(v4.OrderKey(), v4OtherPort.OrderKey());
    EXPECT_LT(v4Later.OrderKey(), v6.OrderKey()) << "IPv4 before IPv6";
    EXPECT_EQ(PeerAddress().Text(), "");
}

}  // namespace
}  // namespace tarnwick
