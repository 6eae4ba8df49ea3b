#include "command/command_composer.h"

#include <algorithm>
#include <string>

#include "command/hex_text.h"
#include "net/control_escapes.h"
#include "session/session.h"

namespace tarnwick {
namespace {

ComposedCommand ComposeHex(std::string_view bufferText) {
    // The window's own example puts a blank after the first pair; anything else is refused
    // before it is looked at further.
    if (bufferText.size() < 3 || bufferText[2] != ' ') {
        return {CommandOutcome::HexPrompt, {}};
    }
    std::string joined(kCommandPrefixHex);
    joined += bufferText;
    HexConversion converted = ConvertHexText(joined);
    // A typo must not send the command cut short at it.
    if (converted.stoppedAt < joined.size()) {
        return {CommandOutcome::HexNotHex, {}, converted.stoppedAt - kCommandPrefixHex.size()};
    }
    if (converted.bytes.size() > kSendBufferSize) {
        return {CommandOutcome::HexTooLong, std::move(converted.bytes)};
    }
    return {CommandOutcome::Sent, std::move(converted.bytes)};
}

// "... at character N: "REST"": N counts from 1, and the rest is cut short and shows its
// control bytes, so the message stays one line.
std::string HexStopText(std::size_t stop, std::string_view rest) {
    constexpr std::size_t kShownRest = 12;
    std::string shown = EscapeControlBytes(rest.substr(0, kShownRest));
    if (rest.size() > kShownRest) {
        shown += "...";
    }
    return "The hex text stops being hex at character " + std::to_string(stop + 1) + ": \"" +
           shown + "\". Nothing was sent.";
}

// The client shown, reached through the listener its address last came in on: after Close and
// Listen the fields may still show a device as it was recorded on the closed listener, until
// the next refresh, although it has arrived on the open one since.
socket_info Route(const socket_info& shown, const std::optional<socket_info>& newest) {
    if (newest && newest->ip == shown.ip && newest->port == shown.port) {
        return *newest;
    }
    return shown;
}

ComposedCommand ComposeText(std::string_view bufferText) {
    ComposedCommand command;
    command.datagram.resize(kCommandPrefix.size() + bufferText.size());
    const auto body =
        std::copy(kCommandPrefix.begin(), kCommandPrefix.end(), command.datagram.begin());
    std::copy(bufferText.begin(), bufferText.end(), body);
    return command;
}

}  // namespace

ComposedCommand ComposeCommand(std::string_view bufferText, CommandMode mode) {
    return mode == CommandMode::Hex ? ComposeHex(bufferText) : ComposeText(bufferText);
}

std::vector<OperatorMessage> CommandReport::Messages() const {
    const OperatorMessage hexPrompt{"Please into hex like :\r\n 38 38 31 02 02", "Question",
                                    MessageIcon::Stop};
    switch (outcome) {
        case CommandOutcome::Sent:
            return {};
        case CommandOutcome::NoClient:
            return {{"Have no Client connect!", "?!", MessageIcon::Stop}};
        case CommandOutcome::HexPrompt:
            return {hexPrompt};
        case CommandOutcome::HexNotHex:
            return {hexPrompt, {HexStopText(hexStop, hexRest), "Question", MessageIcon::Stop}};
        case CommandOutcome::HexTooLong:
            return {{"The hex text converts to " +
                         std::to_string(hexBytes - kCommandPrefix.size()) +
                         " bytes; a command carries at most " +
                         std::to_string(kSendBufferSize - kCommandPrefix.size()) +
                         ". Nothing was sent.",
                     "Question", MessageIcon::Stop}};
        case CommandOutcome::SendFailed: {
            const std::string code = "[" + std::to_string(errorCode) + "]";
            return {{"send command fail " + code, code, MessageIcon::None}};
        }
    }
    return {};
}

CommandReport ReportComposed(const ComposedCommand& command, std::string_view bufferText) {
    if (command.outcome == CommandOutcome::HexNotHex) {
        return {command.outcome, 0, 0, command.hexStop,
                std::string(bufferText.substr(command.hexStop))};
    }
    if (command.outcome != CommandOutcome::Sent) {
        return {command.outcome, 0, command.datagram.size()};
    }
    return {};
}

CommandReport SendCommand(Session& session, const std::optional<socket_info>& destination,
                          std::string_view bufferText, CommandMode mode) {
    if (!destination) {
        return {CommandOutcome::NoClient};
    }
    const ComposedCommand command = ComposeCommand(bufferText, mode);
    if (command.outcome != CommandOutcome::Sent) {
        return ReportComposed(command, bufferText);
    }
    const SendResult sent =
        session.SendToClient(Route(*destination, session.Clients().Newest()), command.datagram);
    if (sent.status == SendResult::Status::Failed) {
        return {CommandOutcome::SendFailed, sent.errorCode};
    }
    return {};
}

}  // namespace tarnwick
