#pragma once

// Splits what arrives on standard input into command lines, however the reads cut it, keeping
// at most a bounded line in memory however long a line is.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

struct InputLine {
    std::string text;  // without its "\n", or the "\r\n" of a CR LF line
    // The line grew past the bound: text is its first maxLine bytes, for the record, and the
    // rest is skipped.
    bool tooLong = false;
    bool operator==(const InputLine&) const = default;
};

class LineSplitter {
public:
    // Lines of more than maxLine bytes are discarded.
    explicit LineSplitter(std::size_t maxLine) : m_maxLine(maxLine) {}

    // Appends the lines completed by chunk to lines, and a tooLong entry for a line at the
    // moment it grows past the bound, before its end has arrived.
    void Feed(std::string_view chunk, std::vector<InputLine>& lines);
    // At the end of input: the unterminated last line, if any, is a line too.
    void Finish(std::vector<InputLine>& lines);

private:
    // Takes the part of one line that chunk carries (up to, not including, its "\n").
    void Take(std::string_view part, std::vector<InputLine>& lines);
    // The line in m_pending is whole: handed on without a CR before its end, unless discarded.
    void EndLine(std::vector<InputLine>& lines);

    std::size_t m_maxLine;
    std::string m_pending;
    bool m_skipping = false;  // in a discarded line, until its "\n"
};

}  // namespace tarnwick
