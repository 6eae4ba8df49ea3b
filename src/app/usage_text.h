#pragma once

// What --help prints: the usage lines and every option of the table, with its default.

#include <string>

namespace tarnwick {

[[nodiscard]] std::string UsageText();

}  // namespace tarnwick
