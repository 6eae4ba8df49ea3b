#pragma once

// What a front end must put before the operator: the window shows it in a message box, the
// headless mode writes it to standard error.

#include <string>

namespace tarnwick {

enum class MessageIcon { None, Stop, Question, Exclamation };

struct OperatorMessage {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    bool operator==(const OperatorMessage&) const = default;
};

}  // namespace tarnwick
