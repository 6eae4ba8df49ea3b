#pragma once

// A day file compressed whole into a gzip archive that zcat and zgrep read. The archive is
// written beside its final name (+ ".part"), reaches the disk, and only then takes that name:
// a full disk or a crash leaves no half archive under it.

#include <stop_token>
#include <string>

namespace tarnwick {

inline constexpr const char* kPartEnd = ".part";

// Compresses what the open file source holds into the archive at path; 0, or the errno of the
// step that failed, ECANCELED once stop is requested (no ".part" file is then left behind).
[[nodiscard]] int CompressInto(int source, const std::string& path, const std::stop_token& stop);

}  // namespace tarnwick
