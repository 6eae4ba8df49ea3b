#pragma once

// What the forwarder is told by the command line.

#include <chrono>
#include <optional>
#include <string>

#include "forward/broker_url.h"
#include "session/device_key.h"

namespace tarnwick {

struct ForwardSettings {
    BrokerUrl url;
    std::string topic = "tarnwick";
    std::string clientId;
    std::optional<std::string> user;
    std::optional<std::string> passwordFile;  // its first line is the password
    std::optional<std::string> caFile;        // mqtts://: the CA to trust
    std::string logFolder;                    // where the log is read and the position kept
    DeviceKeyRule deviceKey;
    // --mqtt-replay-from: "YYYY-MM-DD HH:MM:SS" as the log's headers have it; everything logged
    // from then on is published again.
    std::optional<std::string> replayFrom;
    // --reuse-port: one of several centres on one broker. Holds are taken for devices not heard
    // yet (they may report here next), and the status is this centre's own topic.
    bool oneOfSeveral = false;
    // --hold-for: how long a command's id is one command.
    std::chrono::seconds holdFor = std::chrono::hours(24);
    // --resend-window, and whether --mqtt-skip-resends leaves resends out.
    std::chrono::seconds resendWindow = std::chrono::minutes(10);
    bool skipResends = false;
};

}  // namespace tarnwick
