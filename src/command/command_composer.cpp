#include "command/command_composer.h"

#include <algorithm>
#include <string>

#include "command/hex_text.h"
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
    auto bytes = HexTextToBytes(joined);
    if (bytes.size() > kSendBufferSize) {
        return {CommandOutcome::HexTooLong, std::move(bytes)};
    }
    return {CommandOutcome::Sent, std::move(bytes)};
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

std::optional<OperatorMessage> CommandReport::Message() const {
    switch (outcome) {
        case CommandOutcome::Sent:
            return std::nullopt;
        case CommandOutcome::NoClient:
            return OperatorMessage{"Have no Client connect!", "?!", MessageIcon::Stop};
        case CommandOutcome::HexPrompt:
            return OperatorMessage{"Please into hex like :\r\n 38 38 31 02 02", "Question",
                                   MessageIcon::Stop};
        case CommandOutcome::HexTooLong:
            return OperatorMessage{
                "The hex text converts to " + std::to_string(hexBytes - kCommandPrefix.size()) +
                    " bytes; a command carries at most " +
                    std::to_string(kSendBufferSize - kCommandPrefix.size()) + ". Nothing was sent.",
                "Question", MessageIcon::Stop};
        case CommandOutcome::SendFailed: {
            const std::string code = "[" + std::to_string(errorCode) + "]";
            return OperatorMessage{"send command fail " + code, code, MessageIcon::None};
        }
    }
    return std::nullopt;
}

CommandReport SendCommand(Session& session, std::string_view bufferText, CommandMode mode) {
    if (!session.Clients().Newest()) {
        return {CommandOutcome::NoClient, 0, 0};
    }
    const ComposedCommand command = ComposeCommand(bufferText, mode);
    if (command.outcome != CommandOutcome::Sent) {
        return {command.outcome, 0, command.datagram.size()};
    }
    const SendResult sent = session.SendToNewestClient(command.datagram);
    switch (sent.status) {
        case SendResult::Status::Sent:
            return {};
        case SendResult::Status::NoClient:
            return {CommandOutcome::NoClient, 0, 0};
        case SendResult::Status::Failed:
            break;
    }
    return {CommandOutcome::SendFailed, sent.errorCode, 0};
}

}  // namespace tarnwick
