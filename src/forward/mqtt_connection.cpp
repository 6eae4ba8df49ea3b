#include "forward/mqtt_connection.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace tarnwick {
namespace {

// Unanswered, the keepalive's ping ends the connection two keepalives after the broker's last
// word: within kNoAnswer.
constexpr int kKeepAliveSeconds = 7;
// Sent and not yet acknowledged, at most: the library holds the rest of the forwarder's window in
// its queue. Enough in flight lets the broker take many messages a read, where a few let it go
// one by one at twice the CPU a message (32 did); but the library walks those in flight for every
// acknowledgement, and past about a thousand the walk costs more than the broker saves.
constexpr unsigned kLibraryInFlight = 512;

void InitLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

MqttConnection& Of(void* self) {
    return *static_cast<MqttConnection*>(self);
}

// The library's error in the operator's words, with errno's text where the system had the
// reason.
std::string ReasonOf(int rc) {
    switch (rc) {
        case MOSQ_ERR_ERRNO:
            // A broker that closes while messages go out is seen first as a failed write.
            if (errno == EPIPE || errno == ECONNRESET) {
                return "the broker closed the connection";
            }
            return std::strerror(errno);
        case MOSQ_ERR_CONN_LOST:
        case MOSQ_ERR_NO_CONN:
            return "the broker closed the connection";
        case MOSQ_ERR_KEEPALIVE:
            return "no answer from the broker for " + std::to_string(kNoAnswer.count()) + " s";
        default:
            return mosquitto_strerror(rc);
    }
}

}  // namespace

MqttConnection::MqttConnection(const ForwardSettings& settings, Deliver deliver)
    : m_settings(settings), m_deliver(std::move(deliver)) {
    InitLibraryOnce();
    // A persistent session under the stable client id: the broker keeps what is published for
    // the centre (a hold, a command) while it is stopped, restarting or reconnecting, and hands
    // it over when it is back; a command whose publisher set an expiry is dropped by the broker
    // once it expires.
    m_mosq = mosquitto_new(settings.clientId.c_str(), false, this);
}

MqttConnection::~MqttConnection() {
    if (m_mosq == nullptr) {
        return;
    }
    mosquitto_disconnect(m_mosq);
    mosquitto_destroy(m_mosq);
}

std::string MqttConnection::Start(const std::string& password, const std::string& willTopic,
                                  const std::string& will) {
    if (m_mosq == nullptr) {
        return std::strerror(errno);
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // A command's result is a small message that must not wait for the last one's TCP
    // acknowledgement: another centre drops its held copy only once the result reaches it.
    mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_max_inflight_messages_set(m_mosq, kLibraryInFlight);
    mosquitto_connect_callback_set(m_mosq, OnConnect);
    mosquitto_disconnect_callback_set(m_mosq, OnDisconnect);
    mosquitto_publish_callback_set(m_mosq, OnPublish);
    mosquitto_log_callback_set(m_mosq, OnLog);
    mosquitto_message_callback_set(
        m_mosq, [](mosquitto* mosq, void* self, const mosquitto_message* message) {
            OnMessage(mosq, self, message);
        });
    int rc = mosquitto_will_set(m_mosq, willTopic.c_str(), static_cast<int>(will.size()),
                                will.data(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && m_settings.user) {
        rc = mosquitto_username_pw_set(m_mosq, m_settings.user->c_str(), password.c_str());
    }
    if (rc == MOSQ_ERR_SUCCESS && m_settings.url.tls) {
        const char* caFile = m_settings.caFile ? m_settings.caFile->c_str() : nullptr;
        rc = mosquitto_tls_set(m_mosq, caFile, caFile ? nullptr : "/etc/ssl/certs", nullptr,
                               nullptr, nullptr);
    }
    // The TCP connect does not wait: Pump finishes it once the socket is writable, and the link
    // gives it up when no CONNACK came in time.
    if (rc == MOSQ_ERR_SUCCESS) {
        rc = mosquitto_connect_async(m_mosq, m_settings.url.host.c_str(), m_settings.url.port,
                                     kKeepAliveSeconds);
    }
    return rc == MOSQ_ERR_SUCCESS ? "" : ReasonOf(rc);
}

// A failed read or write ends the connection through OnDisconnect, which says why: the codes
// returned here add nothing.
void MqttConnection::Pump() {
    if (mosquitto_socket(m_mosq) >= 0) {
        (void)mosquitto_loop_read(m_mosq, 1);
    }
    if (mosquitto_socket(m_mosq) >= 0 && mosquitto_want_write(m_mosq)) {
        (void)mosquitto_loop_write(m_mosq, 1);
    }
    (void)mosquitto_loop_misc(m_mosq);
}

ConnectionSocket MqttConnection::Socket() {
    return {mosquitto_socket(m_mosq), mosquitto_want_write(m_mosq)};
}

bool MqttConnection::Publish(const std::string& topic, std::string_view payload, bool retain,
                             int& mid) {
    const int rc = mosquitto_publish(m_mosq, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), 1, retain);
    return Succeeded(rc);
}

// A broker that stops between its CONNACK and this is said as closed, not as a refusal.
bool MqttConnection::Subscribe(const std::string& filter) {
    return Succeeded(mosquitto_subscribe(m_mosq, nullptr, filter.c_str(), 1));
}

// A failed call keeps its reason for LastError.
bool MqttConnection::Succeeded(int rc) {
    if (rc != MOSQ_ERR_SUCCESS) {
        m_lastError = ReasonOf(rc);
    }
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttConnection::OnMessage(mosquitto* /*mosq*/, void* self, const void* message) {
    const auto* m = static_cast<const mosquitto_message*>(message);
    Of(self).m_deliver(
        {LinkEvent::Kind::Message, 0, m->topic,
         std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen)),
         m->retain});
}

std::string MqttConnection::LastError() {
    return m_lastError;
}

void MqttConnection::OnConnect(mosquitto* /*mosq*/, void* self, int rc) {
    if (rc == 0) {
        Of(self).m_deliver({LinkEvent::Kind::Connected, 0, {}});
    } else {
        Of(self).m_deliver({LinkEvent::Kind::Refused, 0, mosquitto_connack_string(rc)});
    }
}

// The end of a connection is said in its own words, not in a log line of the library's.
void MqttConnection::OnDisconnect(mosquitto* /*mosq*/, void* self, int rc) {
    Of(self).m_lastError.clear();
    Of(self).m_deliver({LinkEvent::Kind::Lost, 0, ReasonOf(rc)});
}

void MqttConnection::OnPublish(mosquitto* /*mosq*/, void* self, int mid) {
    Of(self).m_deliver({LinkEvent::Kind::Acked, mid, {}});
}

void MqttConnection::OnLog(mosquitto* /*mosq*/, void* self, int level, const char* text) {
    if (level == MOSQ_LOG_ERR) {
        Of(self).m_lastError = text;
    }
}

}  // namespace tarnwick
