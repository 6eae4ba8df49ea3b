#pragma once

// tarnwick --find: the search run from the command line, its summary on standard error.

#include "app/options.h"

namespace tarnwick {

// The exit status: 0 when something was found, 1 when nothing was.
[[nodiscard]] int RunFind(const Options& options);

}  // namespace tarnwick
