#pragma once

// One connection to the broker, as the link sees it: started once, thrown away whole when it is
// lost or refused. Its events come from Pump, or from a thread of its own, and must only be
// queued there.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

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
    std::string text{};
    std::string payload{};
    bool retained = false;  // Message: kept by the broker from before this subscription
    bool operator==(const LinkEvent&) const = default;
};

// How many QoS 1 messages may be out and not yet saved as acknowledged: the most a lost
// connection or a killed centre sends twice, and the bound of the memory a slow broker takes.
inline constexpr int kMaxInFlight = 8192;

// What the forwarder's thread waits on for a connection, besides its wake.
struct ConnectionSocket {
    int fd = -1;         // none: nothing to wait for
    bool write = false;  // it has something to write once the socket takes it
};

// How long a broker may leave every message unanswered before it is given up: the keepalive's
// ping goes unanswered too by then.
inline constexpr std::chrono::seconds kNoAnswer{15};

class BrokerConnection {
public:
    using Deliver = std::function<void(LinkEvent)>;

    BrokerConnection() = default;
    BrokerConnection(const BrokerConnection&) = delete;
    BrokerConnection& operator=(const BrokerConnection&) = delete;
    // Never called under a lock that Deliver takes.
    virtual ~BrokerConnection() = default;

    // Starts connecting, with willTopic and will as the last will; "" or the reason it could
    // not even begin.
    [[nodiscard]] virtual std::string Start(const std::string& password,
                                            const std::string& willTopic,
                                            const std::string& will) = 0;
    // QoS 1; false when it was refused (the connection is gone).
    virtual bool Publish(const std::string& topic, std::string_view payload, bool retain,
                         int& mid) = 0;
    // QoS 1.
    virtual bool Subscribe(const std::string& filter) = 0;
    // The forwarder's thread, between its waits: reads what the broker sent, writes what waits,
    // keeps the connection alive; its events are delivered from here.
    virtual void Pump() = 0;
    [[nodiscard]] virtual ConnectionSocket Socket() = 0;
    // The connection's own words for the last error (an untrusted certificate); empty if none.
    [[nodiscard]] virtual std::string LastError() = 0;
};

// Makes a connection that hands its events to deliver.
using ConnectionMaker =
    std::function<std::unique_ptr<BrokerConnection>(BrokerConnection::Deliver deliver)>;

}  // namespace tarnwick
