#include "app/session_options.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "forward/command_messages.h"
#include "log/append_file.h"
#include "log/log_folder.h"

namespace tarnwick {

namespace fs = std::filesystem;

std::string LogFolderOf(const Options& options) {
    std::string folder = options.logDir.value_or(DefaultLogFolder(ProgramPath()));
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

std::optional<std::string> UnusableLogFolder(const std::string& folder) {
    if (const int error = PrepareFolder(folder); error != 0) {
        return "cannot log to " + folder + ": " + std::strerror(error);
    }
    return std::nullopt;
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

PortSharing SharingOf(const Options& options) {
    return options.reusePort ? PortSharing::Shared : PortSharing::Alone;
}

Families FamiliesOf(const Options& options) {
    return options.ipv6Only ? Families::Ipv6Only : Families::Both;
}

// The same across restarts of the centre on this host and port, and apart for two centres:
// centres sharing a port tell themselves apart by their log folders.
std::string DefaultClientId(const Options& options, std::uint16_t port) {
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        host[0] = '\0';
    }
    std::string id = "tarnwick-" + std::string(host) + "-" + std::to_string(port);
    if (options.reusePort) {
        std::error_code error;
        fs::path folder = fs::weakly_canonical(LogFolderOf(options), error);
        if (error) {
            folder = fs::absolute(LogFolderOf(options), error);
        }
        id += "-" + Digest({folder.string()}).substr(0, 8);
    }
    return id;
}

ForwardSettings ForwardSettingsOf(const Options& options, std::uint16_t port) {
    ForwardSettings settings;
    settings.url = options.mqtt.value_or(BrokerUrl{});
    settings.topic = options.mqttTopic;
    settings.clientId = options.mqttClientId.value_or(DefaultClientId(options, port));
    settings.user = options.mqttUser;
    settings.passwordFile = options.mqttPasswordFile;
    settings.caFile = options.mqttCa;
    settings.logFolder = LogFolderOf(options);
    settings.deviceKey = options.deviceKey;
    settings.replayFrom = options.mqttReplayFrom;
    settings.oneOfSeveral = options.reusePort;
    settings.holdFor = options.holdFor;
    settings.resendWindow = options.resendWindow;
    settings.skipResends = options.mqttSkipResends;
    return settings;
}

}  // namespace tarnwick
