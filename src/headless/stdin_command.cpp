#include "headless/stdin_command.h"

namespace tarnwick {
namespace {

constexpr char kAddress = '@';
constexpr char kHoldMark = '+';

StdinLine Plain(std::string_view text) {
    return {StdinTarget::Newest, {}, text, ParseCommandBody(text)};
}

}  // namespace

StdinLine ParseStdinLine(std::string_view line) {
    if (line.size() >= 2 && line[0] == kAddress && line[1] == kAddress) {
        return Plain(line.substr(1));
    }
    const std::size_t blank = line.find(' ');
    if (!line.starts_with(kAddress) || blank == std::string_view::npos) {
        return Plain(line);
    }
    std::string_view key = line.substr(1, blank - 1);
    const bool held = key.ends_with(kHoldMark);
    if (held) {
        key.remove_suffix(1);
    }
    if (key.empty()) {
        return Plain(line);
    }
    const std::string_view text = line.substr(blank + 1);
    return {held ? StdinTarget::Held : StdinTarget::Device, key, text, ParseCommandBody(text)};
}

}  // namespace tarnwick
