#pragma once

// What both front ends start their session with, from the command line: one place, so the
// window and the headless mode never drift apart.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/options.h"
#include "forward/forward_settings.h"
#include "session/session.h"

namespace tarnwick {

// --log-dir, else the default folder; without trailing "/", so the file's path has one
// separator before its name.
[[nodiscard]] std::string LogFolderOf(const Options& options);

// "cannot log to FOLDER: REASON" when folder, made where missing, cannot take the log: said at
// start, since the first record would otherwise go unlogged and unanswered; nothing when it can.
[[nodiscard]] std::optional<std::string> UnusableLogFolder(const std::string& folder);

// wake: the front end's, run when records are ready to drain.
[[nodiscard]] SessionConfig SessionConfigOf(const Options& options, std::function<void()> wake);

// --reuse-port: the listening port shared with other centres.
[[nodiscard]] PortSharing SharingOf(const Options& options);

// --ipv6-only: no IPv4 sender is heard.
[[nodiscard]] Families FamiliesOf(const Options& options);

// What the forwarder is told, for a centre listening on port (--mqtt given).
[[nodiscard]] ForwardSettings ForwardSettingsOf(const Options& options, std::uint16_t port);

}  // namespace tarnwick
