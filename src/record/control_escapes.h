#pragma once

// How a record's control bytes are written wherever a person reads records: the log, standard
// output and the window's rows. One record must stay one line there, and a byte that would move
// the cursor or drive a terminal must be seen instead.

#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// CR, LF and tab as \r, \n and \t; every other byte below 0x20, and 0x7F, as \x and two
// upper-case hex digits (ESC is \x1B). Every other byte, the backslash included, is kept as it
// is: the escapes make control bytes visible, they are no quoting (a device that sends the four
// characters \x1B reads the same as one that sends ESC).
[[nodiscard]] std::string EscapeControlBytes(std::string_view text);

// The same for the part of text from `from` on, in place; text without control bytes is left
// untouched, at no cost but a look at each byte.
void EscapeControlBytesFrom(std::string& text, std::size_t from);

// The same escapes with the backslash itself doubled, for text that is read back as it was
// (the command journal): UnescapeControlBytes gives the bytes again, nothing for a text no
// escaping made.
[[nodiscard]] std::string EscapeReversibly(std::string_view text);
[[nodiscard]] std::optional<std::string> UnescapeControlBytes(std::string_view text);

}  // namespace tarnwick
