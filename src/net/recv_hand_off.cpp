#include "net/recv_hand_off.h"

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
    text.reserve(source + 1 + body.size());
    text += ':';
    text += body;
    return RecvHandOff(kind, std::move(text), source, receivedAt);
}

}  // namespace tarnwick
