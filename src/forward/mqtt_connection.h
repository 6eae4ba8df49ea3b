#pragma once

// One connection to the broker through libmosquitto, driven from the forwarder's thread: a
// publish is written to the socket as it is made, and Pump reads the broker's answers and keeps
// the connection alive. No network thread of the library's: handing every message to one cost
// a wake-up and a switch between threads per message, most of what forwarding took. The
// callbacks only hand what happened to the link's queue. A lost or refused connection is thrown
// away whole and a fresh one made, so nothing of it lingers.

#include <string>
#include <string_view>

#include "forward/broker_connection.h"
#include "forward/forward_settings.h"

struct mosquitto;

namespace tarnwick {

class MqttConnection final : public BrokerConnection {
public:
    // deliver runs within the library's calls: it must only queue the event.
    MqttConnection(const ForwardSettings& settings, Deliver deliver);
    ~MqttConnection() override;

    [[nodiscard]] std::string Start(const std::string& password, const std::string& willTopic,
                                    const std::string& will) override;
    bool Publish(const std::string& topic, std::string_view payload, bool retain,
                 int& mid) override;
    bool Subscribe(const std::string& filter) override;
    void Pump() override;
    [[nodiscard]] ConnectionSocket Socket() override;
    // The last failed call's reason, or the library's log line of its last error.
    [[nodiscard]] std::string LastError() override;

private:
    bool Succeeded(int rc);
    static void OnConnect(mosquitto* mosq, void* self, int rc);
    static void OnDisconnect(mosquitto* mosq, void* self, int rc);
    static void OnPublish(mosquitto* mosq, void* self, int mid);
    static void OnMessage(mosquitto* mosq, void* self, const void* message);
    static void OnLog(mosquitto* mosq, void* self, int level, const char* text);

    // The forwarder's thread alone, which makes, drives and ends the connection.
    const ForwardSettings& m_settings;
    Deliver m_deliver;
    mosquitto* m_mosq = nullptr;
    std::string m_lastError;
};

}  // namespace tarnwick
