#include "app/operator_lines.h"

namespace tarnwick {

std::vector<std::string_view> OperatorLines(std::string_view message) {
    std::vector<std::string_view> lines;
    for (;;) {
        const auto end = message.find('\n');
        std::string_view line = message.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        if (end == std::string_view::npos) {
            return lines;
        }
        message.remove_prefix(end + 1);
    }
}

}  // namespace tarnwick
