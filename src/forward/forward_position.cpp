#include "forward/forward_position.h"

#include <fstream>
#include <sstream>

#include "log/atomic_file.h"

namespace tarnwick {

std::optional<LogPosition> LoadPosition(const std::string& folder) {
    std::ifstream in(folder + "/" + kPositionFileName);
    LogPosition position;
    if (!(in >> position.file >> position.offset) || position.file.find('/') != std::string::npos) {
        return std::nullopt;
    }
    return position;
}

int SavePosition(const std::string& folder, const LogPosition& position) {
    return ReplaceFileWhole(folder + "/" + kPositionFileName,
                            position.file + " " + std::to_string(position.offset) + "\n");
}

}  // namespace tarnwick
