#include "forward/forward_position.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "log/atomic_file.h"
#include "log/day_files.h"

namespace tarnwick {
namespace {

// Digits alone: a stream would read "-5" as 2^64 - 5, and "12ab" as 12.
bool NumberOf(const std::string& text, std::uint64_t& number) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    return !text.empty() && error == std::errc() && stop == end;
}

SavedPosition Corrupt(std::string why) {
    return {SavedPosition::State::Corrupt, {}, std::move(why)};
}

// "NAME OFFSET", then "DEVICE INODE" where the file is known, then "ENTRY_AT YYYY-MM-DD
// HH:MM:SS" where an entry ends at the offset.
SavedPosition PositionOf(const std::vector<std::string>& words) {
    if (words.empty()) {
        return Corrupt("empty");
    }
    if (words.size() != 2 && words.size() != 4 && words.size() != 7) {
        return Corrupt("not a position");
    }
    LogPosition position{words[0]};
    if (position.file.find('/') != std::string::npos && !IsYearFolderFile(position.file)) {
        return Corrupt("a file outside the log folder");
    }
    if (!NumberOf(words[1], position.offset)) {
        return Corrupt("the offset is no number of bytes");
    }
    if (words.size() >= 4 && (!NumberOf(words[2], position.identity.device) ||
                              !NumberOf(words[3], position.identity.inode))) {
        return Corrupt("not a position");
    }
    if (words.size() == 7 &&
        (!NumberOf(words[4], position.entryAt) || position.entryAt >= position.offset)) {
        return Corrupt("not a position");
    }
    if (words.size() == 7) {
        position.entryTime = words[5] + " " + words[6];
    }
    return {SavedPosition::State::Read, std::move(position), {}};
}

}  // namespace

SavedPosition LoadPosition(const std::string& folder) {
    const std::string path = folder + "/" + kPositionFileName;
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        return Corrupt("not a file");
    }
    std::ifstream in(path);
    if (!in) {
        return {};
    }
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> words;
    for (std::string word; text >> word;) {
        words.push_back(word);
    }
    return PositionOf(words);
}

int SavePosition(const std::string& folder, const LogPosition& position) {
    std::string text = position.file + " " + std::to_string(position.offset);
    if (position.identity.Known()) {
        text += " " + std::to_string(position.identity.device) + " " +
                std::to_string(position.identity.inode);
        if (!position.entryTime.empty()) {
            text += " " + std::to_string(position.entryAt) + " " + position.entryTime;
        }
    }
    const int error = ReplaceFileWhole(folder + "/" + kPositionFileName, text + "\n");
    return error != 0 ? error : SyncFolder(folder);
}

}  // namespace tarnwick
