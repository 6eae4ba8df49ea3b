#pragma once

// The option table's texts mark `literal` text and *placeholders*; --help shows them plain, the
// manual page in bold and italic.

#include <string>
#include <string_view>

namespace tarnwick {

// The text without its marks.
[[nodiscard]] std::string PlainText(std::string_view marked);

// The text as one roff text line: the marks as font changes, and what roff would read as its
// own (a hyphen, a backslash, a control character at the line's start) escaped.
[[nodiscard]] std::string RoffText(std::string_view marked);

}  // namespace tarnwick
