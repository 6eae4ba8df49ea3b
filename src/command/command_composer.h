#pragma once

// SEND: a command is "#517" followed by the sending buffer's text, or by the bytes of its hex
// text, as one datagram to the client the operator was shown. Hex text goes out whole or not at
// all.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command/operator_message.h"
#include "net/client_list.h"
#include "session/device_table.h"

namespace tarnwick {

class Session;

inline constexpr std::string_view kCommandPrefix = "#517";
inline constexpr std::string_view kCommandPrefixHex = "23 35 31 37 ";
// The hex-mode datagram: 4 bytes of prefix, at most 508 of the operator's.
inline constexpr std::size_t kSendBufferSize = 512;

enum class CommandMode { Text, Hex };

// A command as every source but the window gives it (a line on standard input, a message from
// the broker): text as typed, or "hex:" and hex text.
inline constexpr std::string_view kHexPrefix = "hex:";

struct CommandBody {
    std::string_view bufferText;  // what the window's sending buffer would hold
    CommandMode mode = CommandMode::Text;
    bool operator==(const CommandBody&) const = default;
};

// "hex:" followed by hex text ticks " HEX"; any other text is sent as typed.
[[nodiscard]] CommandBody ParseCommandBody(std::string_view text);

enum class CommandOutcome {
    Sent,
    NoClient,
    HexPrompt,
    HexNotHex,
    HexTooLong,
    SendFailed,
    Held,      // held for the device's next report
    NoDevice,  // no device of that key is known
    HeldFull,  // the device has as many commands held as it may
    KeysFull,  // commands wait for as many keys not heard yet as devices are kept
};

struct ComposedCommand {
    CommandOutcome outcome = CommandOutcome::Sent;  // Sent: datagram is ready to go
    std::vector<std::uint8_t> datagram;
    std::size_t hexStop = 0;  // HexNotHex: where in bufferText the hex text stops being hex
    bool operator==(const ComposedCommand&) const = default;
};

// The datagram for bufferText, or why there is none (HexPrompt, HexNotHex, HexTooLong).
[[nodiscard]] ComposedCommand ComposeCommand(std::string_view bufferText, CommandMode mode);

struct CommandReport {
    CommandOutcome outcome = CommandOutcome::Sent;
    int errorCode = 0;         // SendFailed: the socket error
    std::size_t hexBytes = 0;  // HexTooLong: how many bytes the hex text converts to
    std::size_t hexStop = 0;   // HexNotHex: where in the operator's text hex ends
    std::string hexRest{};     // HexNotHex: the operator's text from there on
    std::string key{};         // NoDevice, HeldFull: the device
    std::size_t held = 0;      // HeldFull: how many commands it has held; KeysFull: keys
    std::string text{};        // HeldFull: the command as typed
    std::uint64_t heldId = 0;  // Held: the device table's id, under which its states come
    bool operator==(const CommandReport&) const = default;

    // What the operator is told, in order, one message box each; nothing after a send. The
    // key's and the text's control bytes are escaped (EscapeControlBytes).
    [[nodiscard]] std::vector<OperatorMessage> Messages() const;
};

// Why command, composed from bufferText, cannot go out, as SEND reports it; Sent when it can.
[[nodiscard]] CommandReport ReportOfComposed(const ComposedCommand& command,
                                             std::string_view bufferText);

// The command as the lists and reports show it: the text typed, "hex:" before hex text.
[[nodiscard]] std::string CommandText(std::string_view bufferText, CommandMode mode);

// OnBnClickedSend: no client is checked before anything else, then the text is composed and
// sent through the session to destination, the client the operator was shown (nullopt: none
// yet). A failed send leaves the listener open.
// Every command, whatever becomes of it, goes on record with source (device_table.h's), one
// refused with why (RefusalText).
[[nodiscard]] CommandReport SendCommand(Session& session,
                                        const std::optional<socket_info>& destination,
                                        std::string_view bufferText, CommandMode mode,
                                        std::string_view source = kFromWindow);

// The command sent now to the device key, where its latest record came from.
[[nodiscard]] CommandReport SendToDevice(Session& session, const std::string& key,
                                         std::string_view bufferText, CommandMode mode,
                                         std::string_view source);

// The command held for the device key's next report: both front ends hold through here.
[[nodiscard]] CommandReport HoldCommand(Session& session, const std::string& key,
                                        std::string_view bufferText, CommandMode mode,
                                        HoldFor who = HoldFor::HeardDevices,
                                        std::string_view source = kFromWindow);

// "refused: " and why, as the journal says it: "no client", "not hex", "too long",
// "no device", "full".
[[nodiscard]] std::string RefusalText(CommandOutcome outcome);

}  // namespace tarnwick
