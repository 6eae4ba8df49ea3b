#include "net/recv_hand_off.h"

#include "net/control_escapes.h"

namespace tarnwick {

std::string SenderText(HandOffKind kind, std::string_view address, int port) {
    std::string text(address);
    text += kind == HandOffKind::Text ? " (" : "  (";
    text += std::to_string(port);
    text += ')';
    return text;
}

RecvHandOff MakeHandOff(HandOffKind kind, std::string_view address, int port, std::string_view body,
                        std::time_t receivedAt) {
    std::string text = SenderText(kind, address, port);
    const std::size_t source = text.size();
    text += ':';
    // A device's control bytes must not start lines of their own in the log or on a terminal;
    // the line breaks inside a hex rendering are the centre's own.
    if (kind == HandOffKind::Text) {
        text += EscapeControlBytes(body);
    } else {
        text += body;
    }
    return RecvHandOff(kind, std::move(text), source, receivedAt);
}

}  // namespace tarnwick
