#pragma once

// Splits what arrives on standard input into command lines, however the reads cut it.

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

class LineSplitter {
public:
    // Appends the lines completed by chunk (without their "\n") to lines.
    void Feed(std::string_view chunk, std::vector<std::string>& lines);
    // At the end of input: the unterminated last line, if any, is a line too.
    void Finish(std::vector<std::string>& lines);

private:
    std::string m_pending;
};

}  // namespace tarnwick
