#pragma once

// One record on its way from the receive thread through the log to the front end, finished
// once, where it is made: the sender written out, the "@517" cut applied and a text record's
// control bytes escaped, so the log, standard output and the window show the same bytes.
// Move-only: exactly one owner at a time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "net/peer_address.h"

namespace tarnwick {

enum class HandOffKind {
    Text,  // a device record: "ADDR (PORT):" + the trimmed record
    Hex,   // the datagram after a record, in hex: "ADDR  (PORT):" + hex text
};

struct RecvHandOff {
    HandOffKind kind = HandOffKind::Text;
    std::string text;              // what is logged: sender, ':', body
    std::size_t sourceLength = 0;  // length of the sender part of text
    std::time_t receivedAt = 0;    // time of receipt, for the hex rows
    PeerAddress from;              // where "@517" and held commands go
    std::uint64_t listener = 0;    // through which opening of the listener
    // Set when "@517" is owed once the record is in the log, and from when its 1 ms counts.
    bool answer = false;
    std::chrono::steady_clock::time_point arrived{};

    RecvHandOff() = default;
    RecvHandOff(RecvHandOff&&) noexcept = default;
    RecvHandOff& operator=(RecvHandOff&&) noexcept = default;
    RecvHandOff(const RecvHandOff&) = delete;
    RecvHandOff& operator=(const RecvHandOff&) = delete;

    [[nodiscard]] std::string_view Source() const {
        return std::string_view(text).substr(0, sourceLength);
    }
    [[nodiscard]] std::string_view Body() const {
        return sourceLength < text.size() ? std::string_view(text).substr(sourceLength + 1)
                                          : std::string_view();
    }
};

// "ADDR (PORT)" for a text record, "ADDR  (PORT)" for a hex record.
[[nodiscard]] std::string SenderText(HandOffKind kind, const PeerAddress& from);

// The finished hand-off of body from `from`: sender, ':' and body; for a text record the
// "@517" cut applied to the whole and the record's control bytes escaped.
[[nodiscard]] RecvHandOff MakeHandOff(HandOffKind kind, const PeerAddress& from,
                                      std::string_view body, std::time_t receivedAt);

}  // namespace tarnwick
