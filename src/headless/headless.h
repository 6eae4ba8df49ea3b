#pragma once

#include "app/options.h"

namespace tarnwick {

// The centre without a window: listens, answers, logs and prints every record, takes commands
// from standard input, and runs until SIGINT, SIGTERM or SIGHUP. Returns the exit status.
[[nodiscard]] int RunHeadless(const Options& options);

}  // namespace tarnwick
