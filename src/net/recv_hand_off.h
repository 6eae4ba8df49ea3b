#pragma once

// One record on its way from the receive thread through the log to the front end. Move-only:
// exactly one owner at a time.

#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace tarnwick {

enum class HandOffKind {
    Text,  // a device record: "ADDR (PORT):" + trimmed record, control bytes escaped
    Hex,   // the datagram after a record, in hex: "ADDR  (PORT):" + hex text
};

struct RecvHandOff {
    HandOffKind kind = HandOffKind::Text;
    std::string text;              // what the handler logs: sender, ':', body
    std::size_t sourceLength = 0;  // length of the sender part of text
    std::time_t receivedAt = 0;    // time of receipt, for the hex rows
    // A device record's sender: where "@517" and held commands go, through which opening of
    // the listener.
    sockaddr_in from{};
    std::uint64_t listener = 0;
    // Set when "@517" is owed once the record is in the log, and from when its 1 ms counts.
    bool answer = false;
    std::chrono::steady_clock::time_point arrived{};

    RecvHandOff() = default;
    RecvHandOff(HandOffKind k, std::string t, std::size_t source, std::time_t at)
        : kind(k), text(std::move(t)), sourceLength(source), receivedAt(at) {}
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
[[nodiscard]] std::string SenderText(HandOffKind kind, std::string_view address, int port);

// Sender, ':' and body, with sourceLength set; a text record's control bytes escaped.
[[nodiscard]] RecvHandOff MakeHandOff(HandOffKind kind, std::string_view address, int port,
                                      std::string_view body, std::time_t receivedAt);

}  // namespace tarnwick
