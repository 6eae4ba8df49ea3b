#pragma once

// One connection to the broker through libmosquitto: its network thread (mosquitto_loop_start)
// does the protocol, and the callbacks only hand what happened to the forwarder's queue. A lost
// or refused connection is thrown away whole and a fresh one made, so nothing of it lingers.

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "forward/forward_settings.h"

struct mosquitto;

namespace tarnwick {

struct LinkEvent {
    enum class Kind {
        Connected,  // the broker accepted the connection
        Refused,    // text: why the broker refused it
        Lost,       // the connection ended, or never came about
        Acked,      // mid: a QoS 1 message the broker acknowledged (PUBACK)
        Message,    // text: the topic of a message the broker sent
    };
    Kind kind;
    int mid = 0;
    std::string text;
    std::string payload{};
};

// How many QoS 1 messages may be out and not yet saved as acknowledged: the most a lost
// connection or a killed centre sends twice, and the bound of the memory a slow broker takes.
inline constexpr int kMaxInFlight = 256;

class MqttConnection {
public:
    using Deliver = std::function<void(LinkEvent)>;

    // deliver runs on the library's thread: it must only queue the event.
    MqttConnection(const ForwardSettings& settings, Deliver deliver);
    MqttConnection(const MqttConnection&) = delete;
    MqttConnection& operator=(const MqttConnection&) = delete;
    ~MqttConnection();

    // Starts connecting; "" or the reason it could not even begin.
    [[nodiscard]] std::string Start(const std::string& password, const std::string& willTopic,
                                    const std::string& will);
    // QoS 1; false when the library refused it (the connection is gone).
    bool Publish(const std::string& topic, std::string_view payload, bool retain, int& mid);
    // QoS 1.
    bool Subscribe(const std::string& filter);
    // The library's own words for the last error (an untrusted certificate); empty if none.
    [[nodiscard]] std::string LastError();

private:
    static void OnConnect(mosquitto* mosq, void* self, int rc);
    static void OnDisconnect(mosquitto* mosq, void* self, int rc);
    static void OnPublish(mosquitto* mosq, void* self, int mid);
    static void OnMessage(mosquitto* mosq, void* self, const void* message);
    static void OnLog(mosquitto* mosq, void* self, int level, const char* text);

    const ForwardSettings& m_settings;
    Deliver m_deliver;
    mosquitto* m_mosq = nullptr;
    bool m_looping = false;
    std::mutex m_errorMutex;  // the library's thread writes it, the forwarder's reads it
    std::string m_lastError;
};

}  // namespace tarnwick
