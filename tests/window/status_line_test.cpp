#include "window/status_line.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

TEST(StatusLineTest, NoticesComeFirstThenTheCounters) {
    CounterSnapshot c;
    c.received = 9;
    const std::string counters = FormatCounters(c, CounterForm::Brief);
    const struct {
        const char* proves;
        StatusFacts facts;
        std::string line;
    } rows[] = {
        {"no notice: the counters alone", {"", "", 0, 10, c}, counters},
        {"one record left the view", {"", "", 1, 10, c}, "1 record left the view (limit 10); "},
        {"every notice, in order",
         {"Log not written: /x: No such file", "listening on UDP port 4", 1234, 1'000'000, c,
          "MQTT broker down since 12:00:00",
          "log folder /x: 1.0 MiB free, below --min-free 1.0 GiB"},
         "Log not written: /x: No such file; log folder /x: 1.0 MiB free, below --min-free 1.0 "
         "GiB; listening on UDP port 4; MQTT broker down since 12:00:00; 1,234 records left the "
         "view (limit 1,000,000); "},
    };
    for (const auto& row : rows) {
        const std::string expected = row.line == counters ? counters : row.line + counters;
        EXPECT_EQ(StatusLineText(row.facts), expected) << row.proves;
    }
}

TEST(StatusLineTest, TheBoundPortIsNamedOnlyWhenItIsNotTheOneTyped) {
    const ListenPlace ipv6 = {.port = 5000, .only = PeerAddress::FromText("::1", 5000)};
    const ListenPlace noIpv6 = {.port = 41234, .ipv4Only = true};
    const struct {
        const char* proves;
        const char* typed;
        ListenPlace bound;
        const char* notice;
    } rows[] = {
        {"as typed", "5000", {.port = 5000}, ""},
        {"0: the system picked", "0", {.port = 41234}, "listening on UDP port 41234"},
        {"not a number", "abc", {.port = 41234}, "listening on UDP port 41234"},
        {"hex is not read as hex", "0x10", {.port = 41234}, "listening on UDP port 41234"},
        {"low 16 bits", "70000", {.port = 4464}, "listening on UDP port 4464"},
        {"the port as typed, on one address", "5000", ipv6, "listening on ::1 only"},
        {"a port picked, and no IPv6", "0", noIpv6,
         "listening on UDP port 41234; no IPv6 on this host: listening on IPv4 only"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ListenNotice(row.typed, row.bound), row.notice) << row.proves;
    }
}

}  // namespace
}  // namespace tarnwick
