#include "app/session_options.h"

#include <unistd.h>

#include <climits>

#include "log/log_folder.h"

namespace tarnwick {

std::string LogFolderOf(const Options& options) {
    std::string folder = options.logDir.value_or(DefaultLogFolder(ProgramPath()));
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

SessionConfig SessionConfigOf(const Options& options, std::function<void()> wake) {
    SessionConfig config;
    config.logFile = LogFilePathIn(LogFolderOf(options), SystemLocalTime());
    config.sync = options.sync;
    config.wake = std::move(wake);
    config.autoReply = options.autoReply;
    config.displayHex = options.hex;
    config.devices = options.Devices();
    return config;
}

// The same across restarts of the centre on this host and port, and apart for two centres.
std::string DefaultClientId(std::uint16_t port) {
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        host[0] = '\0';
    }
    return "tarnwick-" + std::string(host) + "-" + std::to_string(port);
}

ForwardSettings ForwardSettingsOf(const Options& options, std::uint16_t port) {
    ForwardSettings settings;
    settings.url = options.mqtt.value_or(BrokerUrl{});
    settings.topic = options.mqttTopic;
    settings.clientId = options.mqttClientId.value_or(DefaultClientId(port));
    settings.user = options.mqttUser;
    settings.passwordFile = options.mqttPasswordFile;
    settings.caFile = options.mqttCa;
    settings.logFolder = LogFolderOf(options);
    settings.deviceKey = options.deviceKey;
    settings.replayFrom = options.mqttReplayFrom;
    return settings;
}

}  // namespace tarnwick
