#include "app/option_markup.h"

namespace tarnwick {

std::string PlainText(std::string_view marked) {
    std::string plain;
    bool literal = false;
    for (const char c : marked) {
        if (c == '`') {
            literal = !literal;
        } else if (c != '*' || literal) {
            plain += c;
        }
    }
    return plain;
}

std::string RoffText(std::string_view marked) {
    // A line that begins with . or ' would be a request.
    std::string roff = marked.starts_with('.') || marked.starts_with('\'') ? "\\&" : "";
    bool literal = false;
    bool placeholder = false;
    for (const char c : marked) {
        if (c == '`') {
            literal = !literal;
            roff += literal ? "\\fB" : "\\fR";
        } else if (c == '*' && !literal) {
            placeholder = !placeholder;
            roff += placeholder ? "\\fI" : "\\fR";
        } else if (c == '-') {
            roff += "\\-";
        } else if (c == '\\') {
            roff += "\\e";
        } else {
            roff += c == '\n' ? ' ' : c;  // one text line
        }
    }
    return roff;
}

}  // namespace tarnwick
