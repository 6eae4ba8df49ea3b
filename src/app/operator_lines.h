#pragma once

// A message for the operator as the lines standard error shows it: the window's message texts
// break lines with CR LF, a journal wants one plain line each.

#include <string_view>
#include <vector>

namespace tarnwick {

// The lines of message, each without its CR LF or LF; one empty line for an empty message.
[[nodiscard]] std::vector<std::string_view> OperatorLines(std::string_view message);

}  // namespace tarnwick
