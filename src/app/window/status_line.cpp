#include "app/window/status_line.h"

namespace tarnwick {

std::string StatusLineText(std::string_view logFailure, const CounterSnapshot& c) {
    std::string line(logFailure);
    if (!line.empty()) {
        line += "; ";
    }
    line += "received " + std::to_string(c.received) + ", records " + std::to_string(c.records) +
            ", dropped " + std::to_string(Dropped(c)) + ", replies " + std::to_string(c.replies) +
            ", logged " + std::to_string(c.logged) + ", kernel drops " +
            std::to_string(c.kernelDrops);
    return line;
}

}  // namespace tarnwick
