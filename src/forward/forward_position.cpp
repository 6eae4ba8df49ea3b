#include "forward/forward_position.h"

#include <fstream>
#include <sstream>

#include "log/atomic_file.h"

namespace tarnwick {

std::optional<ForwardPosition> LoadPosition(const std::string& folder) {
    std::ifstream in(folder + "/" + kPositionFileName);
    ForwardPosition position;
    if (!(in >> position.file >> position.offset) || position.file.find('/') != std::string::npos) {
        return std::nullopt;
    }
    return position;
}

int SavePosition(const std::string& folder, const ForwardPosition& position) {
    return ReplaceFileWhole(folder + "/" + kPositionFileName,
                            position.file + " " + std::to_string(position.offset) + "\n");
}

}  // namespace tarnwick
