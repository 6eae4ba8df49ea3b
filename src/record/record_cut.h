#pragma once

// What a device record's text loses before it is logged and shown.

#include <string_view>

namespace tarnwick {

// Where "@517" and more than six characters after it stand in text, the text ends with the
// sixth character after "@517".
[[nodiscard]] std::string_view CutAfterReplyMarker(std::string_view text);

}  // namespace tarnwick
