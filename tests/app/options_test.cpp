#include "app/options.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick {
namespace {

struct OptionsRow {
    const char* proves;
    std::vector<std::string_view> args;
    ParsedOptions parsed;
};

Options Set(bool Options::*flag) {
    Options options;
    options.*flag = true;
    return options;
}

TEST(OptionsTest, ParsesTheCommandLine) {
    const std::vector<OptionsRow> rows = {
        {"every option",
         {"--headless", "--port", "5000", "--auto-reply", "--hex", "--log-dir", "/x"},
         {{.headless = true, .autoReply = true, .hex = true, .port = 5000, .logDir = "/x"}, ""}},
        {"value after an equals sign", {"--port=5000"}, {{.port = 5000, .logDir = {}}, ""}},
        {"a valued option needs its value", {"--port"}, {{}, "--port needs a value"}},
        {"unknown option", {"--bogus"}, {{}, "unknown option: --bogus"}},
        {"help", {"--help"}, {Set(&Options::help), ""}},
        {"version", {"--version"}, {Set(&Options::version), ""}},
        {"port 0", {"--port", "0"}, {{.port = 0, .logDir = {}}, ""}},
        {"port 65535", {"--port=65535"}, {{.port = 65535, .logDir = {}}, ""}},
        {"leading zeros read as decimal", {"--port", "05000"}, {{.port = 5000, .logDir = {}}, ""}},
        {"a value that is an option", {"--port", "--auto-reply"}, {{}, "--port needs a value"}},
        {"a forgotten port before --headless",
         {"--port", "--headless"},
         {{}, "--port needs a value"}},
        {"empty log folder", {"--log-dir", ""}, {{}, "--log-dir takes a folder, not \"\""}},
        {"empty log folder after =", {"--log-dir="}, {{}, "--log-dir takes a folder, not \"\""}},
        {"a log folder that looks like an option",
         {"--log-dir", "--hex"},
         {{}, "--log-dir needs a value"}},
        {"the device options",
         {"--device-key", "field:ID", "--max-devices=1", "--hold-for", "90s", "--silent-after",
          "2d", "--devices-file", "d.csv"},
         {{.deviceKey = {DeviceKeyRule::Kind::Field, "ID"},
           .maxDevices = 1,
           .holdFor = std::chrono::seconds(90),
           .silentAfter = std::chrono::hours(48),
           .devicesFile = "d.csv"},
          ""}},
        {"resends off", {"--resend-window", "0"}, {{.resendWindow = std::chrono::seconds(0)}, ""}},
        {"the window's rows and the held bound",
         {"--max-rows", "0050", "--max-held=1"},
         {{.maxRows = 50, .maxHeld = 1}, ""}},
        {"an address to listen on, as its canonical text",
         {"--bind", "2001:DB8:0::7"},
         {{.bind = PeerAddress::FromText("2001:db8::7", 0)}, ""}},
        {"IPv6 alone, on every IPv6 address",
         {"--ipv6-only", "--bind", "::"},
         {{.bind = PeerAddress::FromText("::", 0), .ipv6Only = true}, ""}},
        {"IPv6 alone cannot be an IPv4 address, nor one mapped",
         {"--bind", "::ffff:10.0.0.5", "--ipv6-only"},
         {{.bind = PeerAddress::FromText("10.0.0.5", 0), .ipv6Only = true},
          "--ipv6-only cannot listen on the IPv4 address 10.0.0.5 given to --bind"}},
        {"metrics on a port alone: loopback",
         {"--metrics", "9100"},
         {{.metrics = HttpEndpoint{"127.0.0.1", 9100}}, ""}},
        {"metrics on every IPv4 address",
         {"--metrics=0.0.0.0:0"},
         {{.metrics = HttpEndpoint{"0.0.0.0", 0}}, ""}},
        {"metrics on an IPv6 address",
         {"--metrics", "[::1]:9100"},
         {{.metrics = HttpEndpoint{"::1", 9100}}, ""}},
        {"the page on a port alone: loopback",
         {"--web", "0"},
         {{.web = HttpEndpoint{"127.0.0.1", 0}}, ""}},
        {"the page on every IPv4 address over plain HTTP, said to be meant",
         {"--web=0.0.0.0:8080", "--web-insecure"},
         {{.web = HttpEndpoint{"0.0.0.0", 8080}, .webInsecure = true}, ""}},
        {"the page beyond loopback, unencrypted, refused with what to give",
         {"--web", "0.0.0.0:8080"},
         {{.web = HttpEndpoint{"0.0.0.0", 8080}},
          "--web 0.0.0.0 would send the access token over the network unencrypted: give "
          "--web-cert FILE and --web-key FILE, or --web-insecure for a trusted network"}},
        {"the page on IPv6 loopback needs no TLS",
         {"--web", "[::1]:8080"},
         {{.web = HttpEndpoint{"::1", 8080}}, ""}},
        {"a certificate without its key",
         {"--web", "0", "--web-cert", "/dev/null"},
         {{.web = HttpEndpoint{"127.0.0.1", 0}, .webCert = "/dev/null"},
          "--web-cert needs --web-key"}},
        {"a key that cannot be read",
         {"--web", "0", "--web-cert", "/dev/null", "--web-key", "/no/such/k"},
         {{.web = HttpEndpoint{"127.0.0.1", 0}, .webCert = "/dev/null", .webKey = "/no/such/k"},
          "--web-key cannot be read: /no/such/k: No such file or directory"}},
        {"a token file without the page",
         {"--web-token-file", "/dev/null"},
         {{.webTokenFile = "/dev/null"}, "--web-token-file needs --web [ADDR:]PORT"}},
        {"devices keyed by address alone",
         {"--device-key", "ip", "--max-devices", "10000000"},
         {{.deviceKey = {DeviceKeyRule::Kind::Ip, ""}, .maxDevices = 10'000'000}, ""}},
        {"the log folder's upkeep",
         {"--compress-after", "7", "--delete-after=365", "--delete-unforwarded", "--min-free",
          "500M"},
         {{.compressAfter = 7,
           .deleteAfter = 365,
           .deleteUnforwarded = true,
           .minFree = 500ULL << 20},
          ""}},
        {"a size with no unit it knows",
         {"--min-free", "5X"},
         {{},
          "--min-free takes a size: "
          "a number of bytes, or one "
          "with K, M, G or T after it "
          "(1GiB, 500M), not \"5X\""}},
        {"deleting unforwarded files needs a time to delete them",
         {"--delete-unforwarded"},
         {{.deleteUnforwarded = true}, "--delete-unforwarded needs --delete-after DAYS"}},
        {"a search: --to a day reaches to its end",
         {"--find", "--from", "2026-12-08T14:00", "--to", "2026-12-08", "--format", "jsonl"},
         {{.find = true,
           .findFrom = "2026-12-08 14:00:00",
           .findTo = "2026-12-08 24:00:00",
           .findFormat = FindFormat::Jsonl},
          ""}},
        {"what a search looks for needs --find",
         {"--grep", "ID:4"},
         {{.findGrep = "ID:4"}, "--grep needs --find"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ParseOptions(row.args), row.parsed) << row.proves;
    }
}

TEST(OptionsTest, RefusesEveryPortTextButADecimalNumberUpTo65535) {
    for (const std::string_view text : {"", "abc", "0x10", "-1", "+1", " 5000", "5000 ", "5000x",
                                        "65536", "99999999999", "4294967297", "1e3"}) {
        const std::string_view args[] = {"--port", text};
        EXPECT_EQ(
            ParseOptions(args),
            (ParsedOptions{
                {}, "--port takes a number from 0 to 65535, not \"" + std::string(text) + "\""}))
            << text;
    }
}

TEST(OptionsTest, RefusesDeviceValuesOutOfTheirRules) {
    const std::vector<std::pair<std::string_view, std::string_view>> rows = {
        {"--device-key", "name"}, {"--max-devices", "0"}, {"--max-devices", "10000001"},
        {"--max-devices", "1e5"}, {"--hold-for", "24"},   {"--silent-after", "10m"},
        {"--devices-file", ""},   {"--max-rows", "0"},    {"--max-rows", "1000000001"},
        {"--max-rows", "1,000"},  {"--max-held", "0"},    {"--resend-window", "00"},
    };
    for (const auto& [option, text] : rows) {
        const std::string_view args[] = {option, text};
        const std::string error = ParseOptions(args).error;
        EXPECT_TRUE(error.starts_with(std::string(option) + " takes ")) << error;
        EXPECT_TRUE(error.ends_with(", not \"" + std::string(text) + "\"")) << error;
    }
}

TEST(OptionsTest, RefusesABindThatIsNoAddress) {
    for (const std::string_view text :
         {"", "localhost", "10.0.0", "10.0.0.256", "[::1]", "::1:5000:", "10.0.0.5:5000"}) {
        const std::string_view args[] = {"--bind", text};
        EXPECT_EQ(ParseOptions(args).error,
                  "--bind takes an IPv4 or IPv6 address, not \"" + std::string(text) + "\"")
            << text;
    }
}

TEST(OptionsTest, RefusesMetricsTextsThatAreNoAddressAndPort) {
    for (const std::string_view text :
         {"", "host:9100", "127.0.0.1:", "::1:9100", "[::1]", "[127.0.0.1]:9100", "127.0.0.1:65536",
          "1.2.3:9100", "127.0.0.1:9100:1", ":9100"}) {
        const std::string_view args[] = {"--metrics", text};
        EXPECT_TRUE(ParseOptions(args).error.starts_with("--metrics takes [ADDR:]PORT")) << text;
    }
}

TEST(OptionsTest, TakesTheBrokerOptionsOnlyWithTheirPartners) {
    const std::vector<std::pair<std::vector<std::string_view>, std::string>> rows = {
        {{"--mqtt", "mqtt://broker"}, ""},
        {{"--mqtt", "mqtts://[::1]:8884", "--mqtt-ca", "/ca.pem"}, ""},
        {{"--mqtt", "mqtt://h", "--mqtt-user", "u", "--mqtt-password-file", "/dev/null"}, ""},
        {{"--mqtt", "mqtt://h", "--mqtt-user", "u", "--mqtt-password-file", "/no/such/p"},
         "--mqtt-password-file cannot be read: /no/such/p: No such file or directory"},
        {{"--mqtt", "http://h"}, "--mqtt takes mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not "},
        {{"--mqtt", "mqtt://h:0"}, "--mqtt takes "},
        {{"--mqtt", "mqtt://h:99999"}, "--mqtt takes "},
        {{"--mqtt", "mqtt://"}, "--mqtt takes "},
        {{"--mqtt", "mqtt://h", "--mqtt-topic", "a/#"}, "--mqtt-topic takes "},
        {{"--mqtt", "mqtt://h", "--mqtt-topic", "/a"}, "--mqtt-topic takes "},
        {{"--mqtt-topic", "fleet"}, "--mqtt-topic needs --mqtt URL"},
        {{"--mqtt-client-id", "c"}, "--mqtt-client-id needs --mqtt URL"},
        {{"--mqtt", "mqtt://h", "--mqtt-user", "u"}, "--mqtt-user needs --mqtt-password-file"},
        {{"--mqtt", "mqtt://h", "--mqtt-password-file", "/p"},
         "--mqtt-password-file needs --mqtt-user"},
        {{"--mqtt", "mqtt://h", "--mqtt-ca", "/ca.pem"}, "--mqtt-ca needs an mqtts:// URL"},
        {{"--mqtt", "mqtt://h", "--mqtt-replay-from", "2026-12-08"}, ""},
        {{"--mqtt", "mqtt://h", "--mqtt-replay-from", "2026-12-08T07:30"}, ""},
        {{"--mqtt", "mqtt://h", "--mqtt-replay-from", "2026-12-08 07:30"},
         "--mqtt-replay-from takes "},
        {{"--mqtt", "mqtt://h", "--mqtt-replay-from", "2026-12-8"}, "--mqtt-replay-from takes "},
        {{"--mqtt", "mqtt://h", "--mqtt-replay-from", "2026-13-01"}, "--mqtt-replay-from takes "},
        {{"--mqtt", "mqtt://h", "--mqtt-replay-from", "2026-02-29"}, "--mqtt-replay-from takes "},
        {{"--mqtt", "mqtt://h", "--mqtt-replay-from", "2028-02-29"}, ""},
        {{"--mqtt", "mqtt://h", "--mqtt-replay-from", "2026-12-08T24:00"},
         "--mqtt-replay-from takes "},
        {{"--mqtt-replay-from", "2026-12-08"}, "--mqtt-replay-from needs --mqtt URL"},
        {{"--mqtt-skip-resends", "--hex"}, "--mqtt-skip-resends needs --mqtt URL"},
    };
    for (const auto& [args, error] : rows) {
        const ParsedOptions parsed = ParseOptions(args);
        EXPECT_TRUE(parsed.error.starts_with(error)) << args[1] << ": " << parsed.error;
        EXPECT_EQ(parsed.error.empty(), error.empty()) << args[1] << ": " << parsed.error;
    }
    const std::string_view tls[] = {"--mqtt", "mqtts://[::1]"};
    EXPECT_EQ(ParseOptions(tls).options.mqtt, (BrokerUrl{true, "::1", 8883}));
    const std::string_view replay[] = {"--mqtt", "mqtt://h", "--mqtt-replay-from",
                                       "2026-12-08T07:30"};
    EXPECT_EQ(ParseOptions(replay).options.mqttReplayFrom, "2026-12-08 07:30:00");
}

}  // namespace
}  // namespace tarnwick
