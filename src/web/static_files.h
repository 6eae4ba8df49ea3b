#pragma once

// The operator page's own files, built into the program from data/web, and the chart library
// from where Debian installs it: they hold no data, so they need no token.

#include <optional>
#include <span>
#include <string_view>

#include "web/web_request.h"

namespace tarnwick {

struct StaticFile {
    std::string_view path;  // "/app.js"; "/" for index.html
    std::string_view type;
    std::string_view bytes;
};

// data/web's files, made into a source at build time.
[[nodiscard]] std::span<const StaticFile> BuiltInFiles();

// The answer for path, if it is one of the page's files; nothing otherwise.
[[nodiscard]] std::optional<WebReply> StaticReply(std::string_view path);

}  // namespace tarnwick
