#pragma once

// How far the broker has the log: a log file's name and identity, the byte offset up to which
// every entry was acknowledged, and the entry that ends there. Kept in the log folder beside
// the files it points into, rewritten whole, so a centre stopped or killed resumes where the
// broker's acknowledgements ended. A position saved before identities were (name and offset
// alone) still reads.

#include <string>

#include "log/log_position.h"

namespace tarnwick {

inline constexpr const char* kPositionFileName = "mqtt_position.txt";

struct SavedPosition {
    enum class State { None, Read, Corrupt };
    State state = State::None;
    LogPosition position;  // Read
    std::string why;       // Corrupt: what is wrong with it, for the operator
    bool operator==(const SavedPosition&) const = default;
};

// The position saved in folder, none, or one that does not read back whole.
[[nodiscard]] SavedPosition LoadPosition(const std::string& folder);

// 0, or the errno of the write that failed. Flushed before it replaces the last one, and the
// folder after.
[[nodiscard]] int SavePosition(const std::string& folder, const LogPosition& position);

}  // namespace tarnwick
