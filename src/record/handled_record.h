#pragma once

// What the session hands its front end, in arrival order: a record as it was logged, whether
// its entry was written, and news of the log's health when it changed.

#include <optional>
#include <string>

#include "record/recv_hand_off.h"

namespace tarnwick {

struct HandledRecord {
    std::optional<RecvHandOff> record;  // absent when only the log's health changed
    bool logged = false;
    std::optional<std::string> logReport;  // set when logging starts failing or recovers
};

}  // namespace tarnwick
