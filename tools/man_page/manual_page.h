#pragma once

// The manual page from its template (data/tarnwick.1.in): the version, and the SYNOPSIS and the
// OPTIONS from the option table, so the page cannot drift from what the program takes.

#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// The lines "@TARNWICK_SYNOPSIS@" and "@TARNWICK_OPTIONS@" of the template become the roff of
// the usage lines and of every option, and "@PROJECT_VERSION@" the version. Nothing when the
// template lacks a line to fill.
[[nodiscard]] std::optional<std::string> ManualPage(std::string_view pageTemplate,
                                                    std::string_view version);

}  // namespace tarnwick
