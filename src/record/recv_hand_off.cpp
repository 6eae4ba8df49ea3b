#include "record/recv_hand_off.h"

#include <netinet/in.h>

#include <algorithm>

#include "record/control_escapes.h"
#include "record/record_cut.h"
#include "record/sender_text.h"

namespace tarnwick {

namespace {

// The longest port text, "65535".
constexpr std::size_t kPortDigits = 5;

// The text is the log entry's, as the log writes it.
void AppendSenderText(std::string& out, HandOffKind kind, const PeerAddress& from) {
    AppendSender(out, kind == HandOffKind::Hex, from.Text(), from.Port());
}

}  // namespace

std::string SenderText(HandOffKind kind, const PeerAddress& from) {
    std::string text;
    AppendSenderText(text, kind, from);
    return text;
}

RecvHandOff MakeHandOff(HandOffKind kind, const PeerAddress& from, std::string_view body,
                        std::time_t receivedAt) {
    RecvHandOff record;
    record.kind = kind;
    // One allocation for the whole text: room for the longest sender, ':' and the body.
    record.text.reserve(INET6_ADDRSTRLEN + sizeof "  ()" + kPortDigits + 1 + body.size());
    AppendSenderText(record.text, kind, from);
    record.sourceLength = record.text.size();
    record.text += kSenderEnd;
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
