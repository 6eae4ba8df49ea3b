#pragma once

namespace tarnwick {

// SIGINT, SIGTERM and SIGHUP become readable events on the returned descriptor (-1 on failure)
// instead of killing the process, so both front ends can close the listener and log what is queued
// before they exit. Call before any thread starts: threads inherit the blocked mask. Also
// ignores SIGPIPE, so a reader that goes away never stops the centre, and SIGXFSZ, so a log
// file at the file size limit is a write that failed.
[[nodiscard]] int WatchStopSignals();

}  // namespace tarnwick
