#pragma once

// Debian's mosquitto broker for tests: started on a free loopback port with a configuration of
// the test's own in a temporary folder (with persistence, so a restart keeps what it queued for
// a subscriber), and stopped by its PID. A subscriber with a lasting session collects what it
// is sent, QoS 1.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "support/temp_folder.h"

struct mosquitto;

namespace tarnwick::test {

// Unpacked from Debian's mosquitto package by scripts/install-test-deps.sh: installed, the
// package would run a broker of its own as a system service.
inline constexpr const char* kMosquittoExe = TARNWICK_TOOLS_DIR "/mosquitto/usr/sbin/mosquitto";
inline constexpr const char* kMosquittoPasswdExe =
    TARNWICK_TOOLS_DIR "/mosquitto/usr/bin/mosquitto_passwd";

class MqttBroker {
public:
    // listenerConfig: the lines of Port()'s listener (TLS, a password file); OpenPort() takes
    // anybody, for the test's own subscribers.
    explicit MqttBroker(std::string listenerConfig = "allow_anonymous true\n");
    MqttBroker(const MqttBroker&) = delete;
    MqttBroker& operator=(const MqttBroker&) = delete;
    ~MqttBroker() { Stop(); }

    // The broker's program is there (scripts/install-test-deps.sh unpacks it).
    [[nodiscard]] static bool Installed();

    // Starts it on Port(), stopping the one started before; true once it takes connections.
    bool Start();
    // SIGTERM by PID, and reaped: it saves its persistence file.
    void Stop();
    // SIGSTOP and SIGCONT by PID: a broker that answers nothing, its connections still open.
    void Freeze(bool frozen);

    [[nodiscard]] std::uint16_t Port() const { return m_port; }
    [[nodiscard]] std::uint16_t OpenPort() const { return m_openPort; }
    [[nodiscard]] std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(m_port); }
    [[nodiscard]] const TempFolder& Folder() const { return m_folder; }

private:
    TempFolder m_folder;
    std::uint16_t m_port;
    std::uint16_t m_openPort;
    std::string m_config;
    pid_t m_pid = -1;
};

struct MqttMessage {
    std::string topic;
    std::string payload;
    bool retained = false;
};

class MqttSubscriber {
public:
    // Subscribes to filter with QoS 1 under a lasting session, reconnecting by itself.
    MqttSubscriber(std::uint16_t port, const std::string& filter);
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;
    ~MqttSubscriber();

    // Waits until wanted holds for the messages so far, or timeout passes; the messages then.
    std::vector<MqttMessage> WaitFor(
        const std::function<bool(const std::vector<MqttMessage>&)>& wanted,
        std::chrono::milliseconds timeout);
    [[nodiscard]] std::vector<MqttMessage> Messages();

    // Publishes one message, QoS 1.
    void Publish(const std::string& topic, const std::string& payload);

private:
    static void OnMessage(mosquitto* mosq, void* self, const void* message);

    std::string m_filter;
    mosquitto* m_mosq = nullptr;
    std::atomic<bool> m_subscribed{false};
    std::mutex m_mutex;
    std::vector<MqttMessage> m_messages;
};

// Publishes one message, QoS 1, as an MQTT 5 publisher that gives it a message expiry interval;
// true once the broker has acknowledged it.
[[nodiscard]] bool PublishExpiring(std::uint16_t port, const std::string& topic,
                                   const std::string& payload, std::chrono::seconds expiry);

}  // namespace tarnwick::test
