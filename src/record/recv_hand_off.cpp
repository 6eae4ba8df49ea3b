#include "record/recv_hand_off.h"

#include <algorithm>

#include "record/control_escapes.h"
#include "record/record_cut.h"

namespace tarnwick {

std::string SenderText(HandOffKind kind, const PeerAddress& from) {
    std::string text = from.Text();
    text += kind == HandOffKind::Text ? " (" : "  (";
    text += std::to_string(from.Port());
    text += ')';
    return text;
}

RecvHandOff MakeHandOff(HandOffKind kind, const PeerAddress& from, std::string_view body,
                        std::time_t receivedAt) {
    RecvHandOff record;
    record.kind = kind;
    record.text = SenderText(kind, from);
    record.sourceLength = record.text.size();
    record.text.reserve(record.sourceLength + 1 + body.size());
    record.text += ':';
    record.text += body;
    record.receivedAt = receivedAt;
    record.from = from;
    if (kind == HandOffKind::Text) {
        record.text.resize(CutAfterReplyMarker(record.text).size());
        // The cut may reach into the sender part; the rows must not read past it.
        record.sourceLength = std::min(record.sourceLength, record.text.size());
        // A device's control bytes must not start lines of their own in the log or on a
        // terminal; the line breaks inside a hex rendering are the centre's own.
        EscapeControlBytesFrom(record.text, record.sourceLength);
    }
    return record;
}

}  // namespace tarnwick
