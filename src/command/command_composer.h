#pragma once

// SEND: a command is "#517" followed by the sending buffer's text, or by the bytes of its hex
// text, as one datagram to the newest client.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "command/operator_message.h"

namespace tarnwick {

class Session;

inline constexpr std::string_view kCommandPrefix = "#517";
inline constexpr std::string_view kCommandPrefixHex = "23 35 31 37 ";
// The hex-mode datagram: 4 bytes of prefix, at most 508 of the operator's.
inline constexpr std::size_t kSendBufferSize = 512;

enum class CommandMode { Text, Hex };

enum class CommandOutcome { Sent, NoClient, HexPrompt, HexTooLong, SendFailed };

struct ComposedCommand {
    CommandOutcome outcome = CommandOutcome::Sent;  // Sent: datagram is ready to go
    std::vector<std::uint8_t> datagram;
    bool operator==(const ComposedCommand&) const = default;
};

// The datagram for bufferText, or why there is none (HexPrompt, HexTooLong).
[[nodiscard]] ComposedCommand ComposeCommand(std::string_view bufferText, CommandMode mode);

struct CommandReport {
    CommandOutcome outcome = CommandOutcome::Sent;
    int errorCode = 0;            // SendFailed: the socket error
    std::size_t hexBytes = 0;     // HexTooLong: how many bytes the hex text converts to
    bool operator==(const CommandReport&) const = default;

    // Nothing to say after a successful send.
    [[nodiscard]] std::optional<OperatorMessage> Message() const;
};

// OnBnClickedSend: no client is checked before anything else, then the text is composed and
// sent through the session. A failed send leaves the listener open.
[[nodiscard]] CommandReport SendCommand(Session& session, std::string_view bufferText,
                                        CommandMode mode);

}  // namespace tarnwick
