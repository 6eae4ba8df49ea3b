#include "command/command_line.h"

namespace tarnwick {

std::optional<LineFault> CommandLineFault(std::string_view text) {
    if (text.empty()) {
        return LineFault::Empty;
    }
    if (text.size() > kLongestCommandLine) {
        return LineFault::TooLong;
    }
    if (text.find_first_of(std::string_view("\n\0", 2)) != std::string_view::npos) {
        return LineFault::LineBreak;
    }
    return std::nullopt;
}

}  // namespace tarnwick
