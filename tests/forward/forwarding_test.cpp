// The forwarder against a real broker (Debian's mosquitto, started here): every answered record
// reaches a subscriber from the log, whatever happens to the broker or the centre meanwhile.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "forward/mqtt_connection.h"
#include "support/mqtt_broker.h"
#include "support/numbered_devices.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "support/udp.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kTimeout = 10s;
constexpr auto kCatchUp = 60s;  // covers the longest backoff and a 5,000-record backlog
// A device moved to the other centre reports there this much later.
constexpr auto kMovedAfter = 100ms;

// Every whole entry's text in the folder's log files ("ADDR (PORT):record"), file by file.
std::vector<std::string> LoggedLines(const fs::path& folder) {
    std::vector<std::string> lines;
    for (const auto& file : fs::directory_iterator(folder)) {
        if (file.path().filename().string().starts_with("Data_logs_")) {
            const LogRecords read = ReadLogRecords(ReadFile(file.path().string()));
            lines.insert(lines.end(), read.records.begin(), read.records.end());
        }
    }
    return lines;
}

// A record message as its log line would have it.
std::string LineOf(const nlohmann::json& payload) {
    return payload.at("address").get<std::string>() + " (" +
           std::to_string(payload.at("port").get<int>()) +
           "):" + payload.at("record").get<std::string>();
}

std::vector<std::string> PublishedLines(const std::vector<MqttMessage>& messages) {
    std::vector<std::string> lines;
    for (const MqttMessage& message : messages) {
        lines.push_back(LineOf(nlohmann::json::parse(message.payload)));
    }
    return lines;
}

// Waits until every line logged in folder has been published at least once.
std::vector<MqttMessage> WaitForEveryLogged(MqttSubscriber& subscriber, const fs::path& folder) {
    const std::vector<std::string> logged = LoggedLines(folder);
    const std::unordered_set<std::string> wanted(logged.begin(), logged.end());
    return subscriber.WaitFor(
        [&](const std::vector<MqttMessage>& messages) {
            if (messages.size() < wanted.size()) {
                return false;
            }
            std::unordered_set<std::string> seen;
            for (const std::string& line : PublishedLines(messages)) {
                seen.insert(line);
            }
            return std::all_of(wanted.begin(), wanted.end(),
                               [&](const std::string& line) { return seen.contains(line); });
        },
        kCatchUp);
}

// Every logged line (so every answered record) is among the published ones.
void ExpectEveryLoggedPublished(const std::vector<MqttMessage>& messages, const fs::path& folder) {
    const std::vector<std::string> published = PublishedLines(messages);
    const std::unordered_set<std::string> seen(published.begin(), published.end());
    std::size_t missing = 0;
    for (const std::string& line : LoggedLines(folder)) {
        missing += seen.contains(line) ? 0U : 1U;
    }
    EXPECT_EQ(missing, 0U);
}

void Flood(NumberedDevices& devices, std::uint64_t answeredBefore) {
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    while (devices.AnsweredCount() < answeredBefore &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
}

class Forwarding : public ::testing::Test {
protected:
    void SetUp() override {
        if (!MqttBroker::Installed()) {
            GTEST_SKIP() << kMosquittoExe
                         << " is missing (scripts/install-test-deps.sh unpacks it)";
        }
    }

    // The broker, and a subscriber to every record it will be sent.
    std::unique_ptr<MqttSubscriber> StartBroker() {
        EXPECT_TRUE(m_broker.Start());
        return std::make_unique<MqttSubscriber>(m_broker.Port(), "tarnwick/record/#");
    }

    ChildProcess StartCentre(std::vector<std::string> mqtt = {}) {
        if (mqtt.empty()) {
            mqtt = {"--mqtt", m_broker.Url()};
        }
        mqtt.insert(mqtt.begin(), {TARNWICK_EXE, "--headless", "--port", "0", "--auto-reply",
                                   "--log-dir", m_dir.string()});
        return ChildProcess::Start(std::move(mqtt));
    }

    MqttBroker m_broker;
    TempFolder m_temp;
    const fs::path m_dir = m_temp.PathOf("log");
};

TEST_F(Forwarding, EveryLoggedRecordIsPublishedInLogOrderAsJsonThatMatchesItsLine) {
    const auto subscriber = StartBroker();
    ChildProcess centre = StartCentre();
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    NumberedDevices devices(port, 64);
    devices.Run(5000, 1s);
    ASSERT_EQ(devices.AnsweredCount(), 5000U);

    const std::vector<std::string> logged = LoggedLines(m_dir);
    const std::vector<MqttMessage> messages = subscriber->WaitFor(
        [&](const std::vector<MqttMessage>& m) { return m.size() >= logged.size(); }, kCatchUp);
    ASSERT_EQ(messages.size(), logged.size()) << centre.Stderr();
    static const std::regex isoTime(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const nlohmann::json payload = nlohmann::json::parse(messages[i].payload);
        const std::string key = payload.at("key").get<std::string>();
        EXPECT_EQ(LineOf(payload), logged[i]);
        EXPECT_EQ(messages[i].topic, "tarnwick/record/" + key);
        EXPECT_EQ(key, payload.at("address").get<std::string>() + ":" +
                           std::to_string(payload.at("port").get<int>()));
        EXPECT_EQ(payload.at("code"), "123");
        EXPECT_TRUE(std::regex_match(payload.at("time").get<std::string>(), isoTime))
            << payload.at("time");
        EXPECT_FALSE(messages[i].retained);
    }
    EXPECT_EQ(centre.Signal(SIGTERM), 0);
    EXPECT_EQ(centre.Wait(kTimeout), 0) << "a stop waits for no broker";
}

struct OutageRow {
    const char* proves;
    bool downAtStart;
    std::uint64_t answeredBeforeStop;  // when it is up at the start
    bool frozen = false;               // SIGSTOP rather than a stop, and said in these words
};

TEST_F(Forwarding, ABrokerOutageLosesNothingAnswered) {
    for (const OutageRow row :
         {OutageRow{"stopped during a flood", false, 1500}, OutageRow{"down at the start", true, 0},
          OutageRow{"frozen during a flood", false, 1500, true}}) {
        SCOPED_TRACE(row.proves);
        fs::remove_all(m_dir);
        const auto subscriber = StartBroker();
        if (row.downAtStart) {
            m_broker.Stop();
        }
        ChildProcess centre = StartCentre();
        const std::uint16_t port = ListeningPort(centre, kTimeout);
        ASSERT_NE(port, 0) << centre.Stderr();
        NumberedDevices devices(port, 64);
        std::thread sender([&] { devices.Run(5000, 1s); });
        if (!row.downAtStart) {
            // The words below are those of a connection that was up.
            ASSERT_TRUE(
                centre.WaitForStderrLine(StartsWith("tarnwick: MQTT broker connected: "), kTimeout))
                << centre.Stderr();
            Flood(devices, row.answeredBeforeStop);
            row.frozen ? m_broker.Freeze(true) : m_broker.Stop();
        }
        sender.join();
        EXPECT_EQ(devices.AnsweredCount(), 5000U) << "answering goes on without the broker";
        ASSERT_TRUE(centre.WaitForStderrLine(StartsWith("tarnwick: MQTT broker down: "),
                                             kTimeout + kNoAnswer))
            << centre.Stderr();
        const char* words = row.frozen        ? ": no answer from the broker for 15 s;"
                            : row.downAtStart ? ""
                                              : ": the broker closed the connection;";
        EXPECT_NE(centre.Stderr().find(words), std::string::npos) << centre.Stderr();
        if (row.frozen) {
            m_broker.Freeze(false);
        } else {
            ASSERT_TRUE(m_broker.Start());
        }

        ExpectEveryLoggedPublished(WaitForEveryLogged(*subscriber, m_dir), m_dir);
        const std::string said = centre.Stderr();
        EXPECT_EQ(said.find("MQTT broker down"), said.rfind("MQTT broker down")) << said;
    }
}

TEST_F(Forwarding, ACentreKilledResumesFromTheAcknowledgedPositionWithFewDuplicates) {
    const auto subscriber = StartBroker();
    {
        ChildProcess centre = StartCentre();
        const std::uint16_t port = ListeningPort(centre, kTimeout);
        ASSERT_NE(port, 0) << centre.Stderr();
        NumberedDevices devices(port, 256);
        std::thread sender([&] { devices.Run(1'000'000, 1s); });
        Flood(devices, 4000);
        EXPECT_EQ(centre.Signal(SIGKILL), 0);
        EXPECT_EQ(centre.Wait(kTimeout), 128 + SIGKILL);
        devices.Stop();
        sender.join();
    }
    ChildProcess again = StartCentre();
    ASSERT_NE(ListeningPort(again, kTimeout), 0) << again.Stderr();

    const std::vector<MqttMessage> messages = WaitForEveryLogged(*subscriber, m_dir);
    ExpectEveryLoggedPublished(messages, m_dir);
    const std::vector<std::string> published = PublishedLines(messages);
    const std::size_t duplicates =
        published.size() -
        std::unordered_set<std::string>(published.begin(), published.end()).size();
    std::cout << "[ kill -9  ] " << duplicates << " duplicates of " << published.size()
              << " messages\n";
    RecordProperty("duplicates", static_cast<int>(duplicates));
    EXPECT_LE(duplicates, static_cast<std::size_t>(kMaxInFlight));
}

TEST_F(Forwarding, TheStatusIsOnlineWithTheCountersUntilTheCentreEndsHoweverItEnds) {
    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal);
        ASSERT_TRUE(m_broker.Start());
        MqttSubscriber status(m_broker.Port(), "tarnwick/status");
        ChildProcess centre = StartCentre();
        // The first row's last word stays retained for the second: the centre's own comes after.
        const auto online = status.WaitFor(
            [](const std::vector<MqttMessage>& m) {
                return !m.empty() &&
                       nlohmann::json::parse(m.back().payload).at("state") == "online";
            },
            kTimeout);
        ASSERT_FALSE(online.empty()) << centre.Stderr();
        const nlohmann::json first = nlohmann::json::parse(online.back().payload);
        EXPECT_EQ(first.at("state"), "online");
        EXPECT_TRUE(first.contains("records") && first.contains("kernel drops")) << first;

        EXPECT_EQ(centre.Signal(signal), 0);
        const auto last = status.WaitFor(
            [](const std::vector<MqttMessage>& m) {
                return nlohmann::json::parse(m.back().payload).at("state") == "offline";
            },
            kTimeout);
        EXPECT_EQ(nlohmann::json::parse(last.back().payload).at("state"), "offline");
        centre.Wait(kTimeout);
    }
}

// The command-result payloads so far, by their "id" and "state".
std::vector<std::pair<std::string, std::string>> Results(const std::vector<MqttMessage>& messages) {
    std::vector<std::pair<std::string, std::string>> results;
    for (const MqttMessage& message : messages) {
        const nlohmann::json payload = nlohmann::json::parse(message.payload);
        results.emplace_back(payload.at("id").get<std::string>(),
                             payload.at("state").get<std::string>());
    }
    return results;
}

TEST_F(Forwarding, CommandsThroughTheBrokerReachTheDeviceAndEveryOutcomeComesBack) {
    ASSERT_TRUE(m_broker.Start());
    MqttSubscriber results(m_broker.Port(), "tarnwick/command-result/#");
    MqttSubscriber status(m_broker.Port(), "tarnwick/status");
    ChildProcess centre = StartCentre();
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    // The centre subscribes before its first status: commands published after it are heard.
    ASSERT_FALSE(
        status.WaitFor([](const std::vector<MqttMessage>& m) { return !m.empty(); }, kTimeout)
            .empty());
    UdpPeer device = UdpPeer::BindLoopback();
    const std::string key = "127.0.0.1:" + std::to_string(device.Port());
    device.SendTo(port, "#ST,123;A:1;#");
    ASSERT_EQ(device.Receive(kTimeout).value_or(Datagram{}).bytes, "@517");
    const auto resultsFor = [&](std::size_t count) {
        return Results(results.WaitFor(
            [&](const std::vector<MqttMessage>& m) { return m.size() >= count; }, kTimeout));
    };

    results.Publish("tarnwick/command/" + key, R"({"id":"now","text":"HELLO"})");
    EXPECT_EQ(device.Receive(kTimeout).value_or(Datagram{}).bytes, "#517HELLO");
    results.Publish("tarnwick/hold/" + key, R"({"id":"later","text":"hex:38 38"})");
    EXPECT_EQ(resultsFor(2).back(), (std::pair<std::string, std::string>{"later", "held"}));
    EXPECT_FALSE(device.Receive(200ms)) << "held until the device reports";
    device.SendTo(port, "#ST,123;A:2;#");
    EXPECT_EQ(device.Receive(kTimeout).value_or(Datagram{}).bytes, "@517");
    EXPECT_EQ(device.Receive(kTimeout).value_or(Datagram{}).bytes, "#51788");
    results.Publish("tarnwick/command/" + key, R"({"id":"typo","text":"hex:38 zz"})");
    results.Publish("tarnwick/command/nobody", R"({"id":"lost","text":"X"})");
    results.Publish("tarnwick/command/" + key, R"({"id":"past","text":"LATE","expires":1})");

    // A held command's later states come with the device events, up to a second later.
    const std::multiset<std::pair<std::string, std::string>> wanted = {
        {"now", "sent"},     {"later", "held"},     {"later", "sent"},
        {"typo", "not hex"}, {"lost", "no device"}, {"past", "expired"}};
    const auto got = resultsFor(wanted.size());
    EXPECT_EQ(std::multiset(got.begin(), got.end()), wanted) << centre.Stderr();
}

TEST_F(Forwarding, AReplayPublishesAgainEverythingLoggedFromItsTime) {
    const auto subscriber = StartBroker();
    {
        ChildProcess centre = StartCentre();
        const std::uint16_t port = ListeningPort(centre, kTimeout);
        ASSERT_NE(port, 0) << centre.Stderr();
        NumberedDevices(port, 4).Run(50, 1s);
        subscriber->WaitFor([](const std::vector<MqttMessage>& m) { return m.size() >= 50; },
                            kTimeout);
        EXPECT_EQ(centre.Signal(SIGTERM), 0);
        EXPECT_EQ(centre.Wait(kTimeout), 0);
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char today[16] = {};
    std::strftime(today, sizeof today, "%Y-%m-%d", &local);
    ChildProcess again = StartCentre({"--mqtt", m_broker.Url(), "--mqtt-replay-from", today});
    const std::vector<std::string> published = PublishedLines(subscriber->WaitFor(
        [](const std::vector<MqttMessage>& m) { return m.size() >= 100; }, kTimeout));
    ASSERT_EQ(published.size(), 100U) << again.Stderr();
    EXPECT_TRUE(std::equal(published.begin(), published.begin() + 50, published.begin() + 50));
}

TEST_F(Forwarding, ADevicesStateIsRetainedWhenFirstHeardSilentAndReportingAgain) {
    ASSERT_TRUE(m_broker.Start());
    MqttSubscriber devices(m_broker.Port(), "tarnwick/device/#");
    ChildProcess centre = StartCentre({"--mqtt", m_broker.Url(), "--silent-after", "2s"});
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    UdpPeer device = UdpPeer::BindLoopback();
    const std::string key = "127.0.0.1:" + std::to_string(device.Port());
    // Each state as it is published: records and silent.
    const auto statesAfter = [&](std::size_t count) {
        std::vector<std::pair<std::uint64_t, bool>> states;
        for (const MqttMessage& m : devices.WaitFor(
                 [&](const std::vector<MqttMessage>& all) { return all.size() >= count; },
                 kTimeout)) {
            const nlohmann::json payload = nlohmann::json::parse(m.payload);
            EXPECT_EQ(m.topic, "tarnwick/device/" + key);
            EXPECT_EQ(payload.at("key"), key);
            states.emplace_back(payload.at("records").get<std::uint64_t>(),
                                payload.at("silent").get<bool>());
        }
        return states;
    };
    device.SendTo(port, "#ST,123;A:1;#");
    EXPECT_EQ(statesAfter(1), (std::vector<std::pair<std::uint64_t, bool>>{{1, false}}));
    EXPECT_EQ(statesAfter(2).back(), (std::pair<std::uint64_t, bool>{1, true}));
    device.SendTo(port, "#ST,123;A:2;#");
    // Reporting again is taken within a second, before the next silence.
    EXPECT_EQ(statesAfter(3)[2], (std::pair<std::uint64_t, bool>{2, false}));
}

// VmRSS of a process, in kB.
std::uint64_t ResidentKb(pid_t pid) {
    const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = status.find("VmRSS:");
    return at == std::string::npos ? 0 : std::stoull(status.substr(at + 6));
}

// GCC says the address sanitizer is on in a macro of its own; clang 14 in a feature.
#if defined(__SANITIZE_ADDRESS__)
#define TARNWICK_ADDRESS_SANITIZER
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARNWICK_ADDRESS_SANITIZER
#endif
#endif

TEST_F(Forwarding, ABacklogOf200000RecordsIsCaughtUpWithFlatMemory) {
#ifdef TARNWICK_ADDRESS_SANITIZER
    GTEST_SKIP() << "the address sanitizer keeps freed memory in quarantine: VmRSS tells nothing";
#endif
    ASSERT_TRUE(m_broker.Start());
    m_broker.Stop();
    // Without the resend windows, whose bounded memory bench/bench_resends measures: what is
    // left is the forwarder's own.
    ChildProcess centre = StartCentre({"--mqtt", m_broker.Url(), "--resend-window", "0"});
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    ChildProcess device = ChildProcess::Start({TARNWICK_DEVICE_EXE, "--port", std::to_string(port),
                                               "--count", "200000", "--expect-replies", "--window",
                                               "2048", "--sources", "4", "--quiet"});
    ASSERT_EQ(device.Wait(60s), 0) << device.Stdout();
    const std::uint64_t before = ResidentKb(centre.Pid());
    ASSERT_TRUE(m_broker.Start());

    // Caught up once the saved position is the log's end.
    std::uint64_t peak = before;
    const auto deadline = std::chrono::steady_clock::now() + kCatchUp;
    std::string position;
    std::string wanted;
    while (std::chrono::steady_clock::now() < deadline) {
        peak = std::max(peak, ResidentKb(centre.Pid()));
        for (const auto& file : fs::directory_iterator(m_dir)) {
            if (file.path().filename().string().starts_with("Data_logs_")) {
                wanted = file.path().filename().string() + " " + std::to_string(file.file_size());
            }
        }
        // The name and offset first, then the file's identity and the entry that ends there.
        position = ReadFile((m_dir / "mqtt_position.txt").string());
        if (position.starts_with(wanted + " ")) {
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(position.starts_with(wanted + " ")) << position << centre.Stderr();
    std::cout << "[ backlog  ] VmRSS " << before << " kB before the catch-up, peak " << peak
              << " kB during it\n";
    // The 200,000 records' JSON alone would take some 30 MB.
    EXPECT_LT(peak, before + 8 * 1024);
}

// What a centre says of its first connection: "MQTT broker connected: ..." or "MQTT broker
// down: ...: REASON; ...".
std::string FirstBrokerLine(ChildProcess& centre) {
    return centre.WaitForStderrLine(StartsWith("tarnwick: MQTT broker "), kTimeout * 2)
        .value_or("nothing said of the broker");
}

// A CA, and a server certificate for 127.0.0.1 it signed, made with openssl in folder; and
// another CA that signed nothing.
void MakeCertificates(const std::string& folder) {
    const std::string script =
        "cd '" + folder +
        "' && printf 'subjectAltName=IP:127.0.0.1\\n' > san.txt"
        " && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2"
        " -subj /CN=tarnwick-test-ca"
        " && openssl req -x509 -newkey rsa:2048 -nodes -keyout other.key -out other.pem -days 2"
        " -subj /CN=tarnwick-test-other"
        " && openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr"
        " -subj /CN=127.0.0.1"
        " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial"
        " -out server.pem -days 2 -extfile san.txt) > /dev/null 2>&1";
    ASSERT_EQ(std::system(("(" + script).c_str()), 0);
}

struct TrustRow {
    const char* proves;
    const char* ca;
    const char* said;  // how the first line about the broker begins
};

TEST_F(Forwarding, TlsConnectsWithTheRightCaAndRefusesAnotherClearly) {
    MakeCertificates(m_temp.Path());
    const std::string folder = m_temp.Path() + "/";
    MqttBroker broker("cafile " + folder + "ca.pem\ncertfile " + folder + "server.pem\nkeyfile " +
                      folder + "server.key\nallow_anonymous true\n");
    ASSERT_TRUE(broker.Start());
    const std::string url = "mqtts://127.0.0.1:" + std::to_string(broker.Port());
    for (const TrustRow row : {TrustRow{"the CA that signed it", "ca.pem", "connected"},
                               TrustRow{"another CA", "other.pem", "down"}}) {
        SCOPED_TRACE(row.proves);
        ChildProcess centre = StartCentre({"--mqtt", url, "--mqtt-ca", folder + row.ca});
        const std::string line = FirstBrokerLine(centre);
        EXPECT_TRUE(line.starts_with(std::string("tarnwick: MQTT broker ") + row.said)) << line;
        if (std::string(row.said) == "down") {
            EXPECT_NE(line.find("certificate verify failed"), std::string::npos) << line;
        }
    }
}

TEST_F(Forwarding, CredentialsTheBrokerRefusesAreSaidOnce) {
    const std::string passwords = m_temp.PathOf("passwords");
    ASSERT_EQ(
        std::system(
            (std::string(kMosquittoPasswdExe) + " -c -b '" + passwords + "' unit s3cret").c_str()),
        0);
    MqttBroker broker("password_file " + passwords + "\nallow_anonymous false\n");
    ASSERT_TRUE(broker.Start());
    for (const auto& [password, said] :
         {std::pair{"s3cret", "connected"}, std::pair{"wrong", "down"}}) {
        SCOPED_TRACE(password);
        WriteFile(m_temp.PathOf("password"), std::string(password) + "\n");
        ChildProcess centre = StartCentre({"--mqtt", broker.Url(), "--mqtt-user", "unit",
                                           "--mqtt-password-file", m_temp.PathOf("password")});
        const std::string line = FirstBrokerLine(centre);
        EXPECT_TRUE(line.starts_with(std::string("tarnwick: MQTT broker ") + said)) << line;
        if (std::string(said) == "down") {
            EXPECT_NE(line.find("not authorised"), std::string::npos) << line;
            // Retried after 1 s and 2 s, and still said once.
            std::this_thread::sleep_for(3500ms);
            const std::string all = centre.Stderr();
            EXPECT_EQ(all.find("MQTT broker down"), all.rfind("MQTT broker down")) << all;
        }
    }
}

// A listener on port whose queue of connections is full: the kernel drops a further SYN, so a
// connect to it stays pending until the client's SYN is sent again, about a second later.
class FullListenQueue {
public:
    explicit FullListenQueue(std::uint16_t port)
        : m_listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)),
          m_filler(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const int on = 1;
        setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const auto* at = reinterpret_cast<const sockaddr*>(&address);
        m_full = bind(m_listener, at, sizeof address) == 0 && listen(m_listener, 0) == 0 &&
                 connect(m_filler, at, sizeof address) == 0;
    }
    FullListenQueue(const FullListenQueue&) = delete;
    FullListenQueue& operator=(const FullListenQueue&) = delete;
    ~FullListenQueue() {
        close(m_filler);
        close(m_listener);
    }
    [[nodiscard]] bool Full() const { return m_full; }

private:
    int m_listener;
    int m_filler;
    bool m_full = false;
};

// The forwarder's thread finishes a TCP connect that did not complete at once.
TEST_F(Forwarding, AConnectLeftPendingIsFinishedOnceTheBrokerTakesIt) {
    const auto subscriber = StartBroker();
    m_broker.Stop();
    auto pending = std::make_unique<FullListenQueue>(m_broker.Port());
    ASSERT_TRUE(pending->Full());
    ChildProcess centre = StartCentre();
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    std::this_thread::sleep_for(200ms);  // its SYN is dropped meanwhile
    pending.reset();
    ASSERT_TRUE(m_broker.Start());
    // Refused only if the SYN came again before the broker listened, which proves nothing here.
    const std::string line = FirstBrokerLine(centre);
    EXPECT_TRUE(line.starts_with("tarnwick: MQTT broker connected: ") ||
                line.ends_with(": Connection refused; retrying, records wait in the log"))
        << line;
    NumberedDevices devices(port, 4);
    devices.Run(100, 1s);
    ExpectEveryLoggedPublished(WaitForEveryLogged(*subscriber, m_dir), m_dir);
}

// The centre's socket that a device's datagrams from peer reach: the one whose log has its
// port.
int CentreOf(const UdpPeer& peer, const std::vector<fs::path>& folders) {
    const std::string sender = "127.0.0.1 (" + std::to_string(peer.Port()) + "):";
    for (std::size_t i = 0; i < folders.size(); ++i) {
        for (const std::string& line : LoggedLines(folders[i])) {
            if (line.starts_with(sender)) {
                return static_cast<int>(i);
            }
        }
    }
    return -1;
}

TEST_F(Forwarding, TwoCentresOnOnePortPublishEveryRecordOnceAndDeliverAHeldCommandOnce) {
    const auto records = StartBroker();
    MqttSubscriber results(m_broker.Port(), "tarnwick/command-result/#");
    const std::vector<fs::path> folders = {m_temp.PathOf("a"), m_temp.PathOf("b")};
    const auto centreOn = [&](const fs::path& folder, std::uint16_t port) {
        return ChildProcess::Start({TARNWICK_EXE, "--headless", "--port", std::to_string(port),
                                    "--reuse-port", "--auto-reply", "--device-key", "field:ID",
                                    "--log-dir", folder.string(), "--mqtt", m_broker.Url()});
    };
    ChildProcess first = centreOn(folders[0], 0);
    const std::uint16_t port = ListeningPort(first, kTimeout);
    ASSERT_NE(port, 0) << first.Stderr();
    std::vector<ChildProcess> centres;
    centres.push_back(std::move(first));
    centres.push_back(centreOn(folders[1], port));
    ASSERT_EQ(ListeningPort(centres[1], kTimeout), port) << centres[1].Stderr();
    ChildProcess sameFolder = centreOn(folders[0], port);
    EXPECT_EQ(sameFolder.Wait(kTimeout), 1);
    EXPECT_NE(sameFolder.Stderr().find("is in use by another centre"), std::string::npos);

    NumberedDevices devices(port, 32);  // 32 source ports: the kernel spreads them over both
    devices.Run(640, 1s);
    ASSERT_EQ(devices.AnsweredCount(), 640U);
    std::vector<std::string> logged = LoggedLines(folders[0]);
    ASSERT_FALSE(logged.empty());
    const std::vector<std::string> second = LoggedLines(folders[1]);
    ASSERT_FALSE(second.empty());
    logged.insert(logged.end(), second.begin(), second.end());
    const std::vector<std::string> published = PublishedLines(records->WaitFor(
        [&](const std::vector<MqttMessage>& m) { return m.size() >= logged.size(); }, kCatchUp));
    EXPECT_EQ(std::multiset(published.begin(), published.end()),
              std::multiset(logged.begin(), logged.end()));

    // Two ports of device 7's, one to each centre, found by a probe: 7 itself is heard by
    // neither before its command is held.
    std::vector<UdpPeer> peers;
    std::vector<int> reached;
    for (int tries = 0; tries < 64 && (reached.size() < 2 || reached[0] == reached[1]); ++tries) {
        peers.push_back(UdpPeer::BindLoopback());
        peers.back().SendTo(port, "#ST,123;ID:probe;#");
        ASSERT_EQ(peers.back().Receive(kTimeout).value_or(Datagram{}).bytes, "@517");
        const int centre = CentreOf(peers.back(), folders);
        if (reached.empty() || centre != reached[0]) {
            reached.push_back(centre);
        } else {
            peers.pop_back();
        }
    }
    ASSERT_EQ(reached.size(), 2U);
    results.Publish("tarnwick/hold/7", R"({"id":"once","text":"GO"})");
    const auto states = [&](std::size_t count) {
        return Results(results.WaitFor(
            [&](const std::vector<MqttMessage>& m) { return m.size() >= count; }, kTimeout));
    };
    EXPECT_EQ(states(2), (std::vector<std::pair<std::string, std::string>>{{"once", "held"},
                                                                           {"once", "held"}}));
    peers[0].SendTo(port, "#ST,123;ID:7;#");
    EXPECT_EQ(peers[0].Receive(kTimeout).value_or(Datagram{}).bytes, "@517");
    EXPECT_EQ(peers[0].Receive(kTimeout).value_or(Datagram{}).bytes, "#517GO");
    EXPECT_EQ(states(3).back(), (std::pair<std::string, std::string>{"once", "sent"}));
    ChildProcess& other = centres[static_cast<std::size_t>(reached[1])];
    EXPECT_TRUE(other.WaitForStderrLine(
        [](const std::string& line) {
            return line.find("sent by another centre") != std::string::npos;
        },
        kTimeout))
        << other.Stderr();
    peers[1].SendTo(port, "#ST,123;ID:7;#");
    EXPECT_EQ(peers[1].Receive(kTimeout).value_or(Datagram{}).bytes, "@517");
    EXPECT_FALSE(peers[1].Receive(500ms)) << "delivered once";
    EXPECT_EQ(results.Messages().size(), 3U) << "the dropped copy says nothing";

    // Devices that report to one centre and then, a moment later, to the other.
    constexpr int kMoving = 40;
    for (int i = 0; i < kMoving; ++i) {
        results.Publish("tarnwick/hold/m" + std::to_string(i), "GO");
    }
    (void)states(3 + 2 * kMoving);
    const auto reportAll = [&](UdpPeer& peer) {
        for (int i = 0; i < kMoving; ++i) {
            peer.SendTo(port, "#ST,123;ID:m" + std::to_string(i) + ";#");
        }
    };
    const auto commandsTo = [](UdpPeer& peer) {
        int commands = 0;
        while (const auto datagram = peer.Receive(300ms)) {
            commands += datagram->bytes == "#517GO" ? 1 : 0;
        }
        return commands;
    };
    reportAll(peers[0]);
    std::this_thread::sleep_for(kMovedAfter);
    reportAll(peers[1]);
    EXPECT_EQ(commandsTo(peers[0]), kMoving);
    const int twice = commandsTo(peers[1]);
    // A rate, not a verdict: it depends on how fast both centres and the broker run (a
    // sanitizer build is far slower); the delivery once, above, waits for the drop instead.
    std::cout << "devices that got a held command twice, reporting to the other centre "
              << kMovedAfter.count() << " ms later: " << twice << " of " << kMoving << "\n";
    EXPECT_LE(twice, kMoving);
}

}  // namespace
}  // namespace tarnwick::test
