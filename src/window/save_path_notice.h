#pragma once

// The question Save Path asks before the log file moves to a chosen folder.

#include <string_view>

#include "command/operator_message.h"

namespace tarnwick {

// logFile: the full path the log would move to.
[[nodiscard]] OperatorMessage SavePathNotice(std::string_view logFile);

}  // namespace tarnwick
