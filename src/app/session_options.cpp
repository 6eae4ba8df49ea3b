#include "app/session_options.h"

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

}  // namespace tarnwick
