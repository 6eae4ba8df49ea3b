#include "log/log_folder.h"

#include <unistd.h>

#include <array>

#include "log/daily_log.h"

namespace tarnwick {

std::string DefaultLogFolder(std::string_view programPath) {
    const auto slash = programPath.rfind('/');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view() : programPath.substr(0, slash);
    return std::string(folder) + "/DataLog";
}

std::string LogFilePathIn(std::string_view folder, const LocalTime& t) {
    return std::string(folder) + "/" + LogFileName(t);
}

std::string ProgramPath() {
    std::array<char, 4096> path{};
    const auto length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    return length > 0 ? std::string(path.data(), static_cast<std::size_t>(length)) : std::string();
}

}  // namespace tarnwick
