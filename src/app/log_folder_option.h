#pragma once

// The log folder both front ends start with: --log-dir, else the default folder.

#include <string>

#include "app/options.h"

namespace tarnwick {

// Without trailing "/", so the file's path has one separator before its name.
[[nodiscard]] std::string LogFolderOf(const Options& options);

}  // namespace tarnwick
