#include "command/command_line.h"

#include <string>

#include "log/command_entry.h"
#include "session/session.h"

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

std::string_view LineFaultWord(LineFault fault) {
    return fault == LineFault::TooLong ? kRefusedTooLong : kRefusedInvalid;
}

void RefuseLine(Session& session, std::string_view key, std::string_view text, LineFault fault,
                std::string_view source) {
    session.Devices().CommandSettled(
        std::string(key), text, source,
        std::string(command_state::kRefused) + ": " + std::string(LineFaultWord(fault)),
        session.Now().wall);
}

}  // namespace tarnwick
