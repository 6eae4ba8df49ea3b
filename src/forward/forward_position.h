#pragma once

// How far the broker has the log: a log file's name and the byte offset up to which every entry
// was acknowledged. Kept in the log folder beside the files it points into, rewritten whole, so
// a centre stopped or killed resumes where the broker's acknowledgements ended.

#include <cstdint>
#include <optional>
#include <string>

namespace tarnwick {

struct ForwardPosition {
    std::string file;  // "Data_logs_MMDD.txt"
    std::uint64_t offset = 0;
    bool operator==(const ForwardPosition&) const = default;
};

inline constexpr const char* kPositionFileName = "mqtt_position.txt";

// The position saved in folder; nothing when there is none, or none that reads back.
[[nodiscard]] std::optional<ForwardPosition> LoadPosition(const std::string& folder);

// 0, or the errno of the write that failed.
[[nodiscard]] int SavePosition(const std::string& folder, const ForwardPosition& position);

}  // namespace tarnwick
