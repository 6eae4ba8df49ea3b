#pragma once

// How far the broker has the log: a log file's name and the byte offset up to which every entry
// was acknowledged. Kept in the log folder beside the files it points into, rewritten whole, so
// a centre stopped or killed resumes where the broker's acknowledgements ended.

#include <optional>
#include <string>

#include "log/log_position.h"

namespace tarnwick {

inline constexpr const char* kPositionFileName = "mqtt_position.txt";

// The position saved in folder; nothing when there is none, or none that reads back.
[[nodiscard]] std::optional<LogPosition> LoadPosition(const std::string& folder);

// 0, or the errno of the write that failed.
[[nodiscard]] int SavePosition(const std::string& folder, const LogPosition& position);

}  // namespace tarnwick
