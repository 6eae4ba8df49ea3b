#include "forward/forward_position.h"

#include <charconv>
#include <fstream>

#include "log/atomic_file.h"
#include "log/day_files.h"

namespace tarnwick {

// The offset is digits alone: a stream would read "-5" as 2^64 - 5, and "12ab" as 12.
std::optional<LogPosition> LoadPosition(const std::string& folder) {
    std::ifstream in(folder + "/" + kPositionFileName);
    LogPosition position;
    std::string offset;
    if (!(in >> position.file >> offset) ||
        (position.file.find('/') != std::string::npos && !IsYearFolderFile(position.file))) {
        return std::nullopt;
    }
    const char* end = offset.data() + offset.size();
    const auto [stop, error] = std::from_chars(offset.data(), end, position.offset);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return position;
}

int SavePosition(const std::string& folder, const LogPosition& position) {
    return ReplaceFileWhole(folder + "/" + kPositionFileName,
                            position.file + " " + std::to_string(position.offset) + "\n");
}

}  // namespace tarnwick
