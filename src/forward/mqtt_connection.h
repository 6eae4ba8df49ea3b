#pragma once

// One connection to the broker through libmosquitto: its network thread (mosquitto_loop_start)
// does the protocol, and the callbacks only hand what happened to the link's queue. A lost
// or refused connection is thrown away whole and a fresh one made, so nothing of it lingers.

#include <mutex>
#include <string>
#include <string_view>

#include "forward/broker_connection.h"
#include "forward/forward_settings.h"

struct mosquitto;

namespace tarnwick {

class MqttConnection final : public BrokerConnection {
public:
    // deliver runs on the library's thread: it must only queue the event.
    MqttConnection(const ForwardSettings& settings, Deliver deliver);
    ~MqttConnection() override;

    [[nodiscard]] std::string Start(const std::string& password, const std::string& willTopic,
                                    const std::string& will) override;
    bool Publish(const std::string& topic, std::string_view payload, bool retain,
                 int& mid) override;
    bool Subscribe(const std::string& filter) override;
    // The last failed call's reason, or the library's log line of its last error.
    [[nodiscard]] std::string LastError() override;

private:
    bool Succeeded(int rc);
    static void OnConnect(mosquitto* mosq, void* self, int rc);
    static void OnDisconnect(mosquitto* mosq, void* self, int rc);
    static void OnPublish(mosquitto* mosq, void* self, int mid);
    static void OnMessage(mosquitto* mosq, void* self, const void* message);
    static void OnLog(mosquitto* mosq, void* self, int level, const char* text);

    // Written by the forwarder's thread, which makes, starts and ends the connection; the
    // library's thread only reads m_deliver, between mosquitto_loop_start and its stop.
    const ForwardSettings& m_settings;
    Deliver m_deliver;
    mosquitto* m_mosq = nullptr;
    bool m_looping = false;
    std::mutex m_errorMutex;  // the library's thread writes it, the forwarder's reads it
    std::string m_lastError;
};

}  // namespace tarnwick
