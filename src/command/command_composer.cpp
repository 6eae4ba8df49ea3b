#include "command/command_composer.h"

#include <algorithm>
#include <string>

#include "command/hex_text.h"
#include "record/control_escapes.h"
#include "session/session.h"

namespace tarnwick {
namespace {

// The caption of the messages about devices: the program's name.
constexpr const char* kCaption = "tarnwick";

ComposedCommand ComposeHex(std::string_view bufferText) {
    std::string joined(kCommandPrefixHex);
    joined += bufferText;
    HexConversion converted = ConvertHexText(joined);
    // A typo must not send the command cut short at it; where it stops is told even when the
    // text does not look like hex at all ("zz").
    if (converted.stoppedAt < joined.size()) {
        return {CommandOutcome::HexNotHex, {}, converted.stoppedAt - kCommandPrefixHex.size()};
    }
    // The window's own example puts a blank after the first pair; anything else is refused.
    if (bufferText.size() < 3 || bufferText[2] != ' ') {
        return {CommandOutcome::HexPrompt, {}};
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
    if (newest && newest->addr == shown.addr) {
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

std::string CommandText(std::string_view bufferText, CommandMode mode) {
    return (mode == CommandMode::Hex ? "hex:" : "") + std::string(bufferText);
}

ComposedCommand ComposeCommand(std::string_view bufferText, CommandMode mode) {
    return mode == CommandMode::Hex ? ComposeHex(bufferText) : ComposeText(bufferText);
}

std::vector<OperatorMessage> CommandReport::Messages() const {
    const OperatorMessage hexPrompt{"Please into hex like :\r\n 38 38 31 02 02", "Question",
                                    MessageIcon::Stop};
    // A key or a command from the broker or a device's record holds whatever bytes it was
    // sent: shown as they are, a line feed would start a forged line on standard error.
    const std::string shownKey = EscapeControlBytes(key);
    const std::string shownText = EscapeControlBytes(text);
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
        case CommandOutcome::Held:
            return {};
        case CommandOutcome::NoDevice:
            return {{"no device " + shownKey, kCaption, MessageIcon::Exclamation}};
        case CommandOutcome::HeldFull:
            return {{"device " + shownKey + " has " + std::to_string(held) +
                         " commands held; not held: " + shownText,
                     kCaption, MessageIcon::Exclamation}};
        case CommandOutcome::KeysFull:
            return {{"commands wait for " + std::to_string(held) +
                         " devices not heard yet; not held for " + shownKey + ": " + shownText,
                     kCaption, MessageIcon::Exclamation}};
    }
    return {};
}

CommandReport ReportOfComposed(const ComposedCommand& command, std::string_view bufferText) {
    switch (command.outcome) {
        case CommandOutcome::HexNotHex:
            return {command.outcome, 0, 0, command.hexStop,
                    std::string(bufferText.substr(command.hexStop))};
        case CommandOutcome::HexTooLong:
            return {command.outcome, 0, command.datagram.size()};
        default:
            return {command.outcome};
    }
}

std::string RefusalText(CommandOutcome outcome) {
    std::string_view why = "not hex";
    switch (outcome) {
        case CommandOutcome::NoClient:
            why = "no client";
            break;
        case CommandOutcome::HexTooLong:
            why = "too long";
            break;
        case CommandOutcome::NoDevice:
            why = "no device";
            break;
        case CommandOutcome::HeldFull:
        case CommandOutcome::KeysFull:
            why = "full";
            break;
        default:
            break;
    }
    return std::string(command_state::kRefused) + ": " + std::string(why);
}

namespace {

// A command that went nowhere, on record with why.
CommandReport Refused(Session& session, const std::string& key, std::string_view bufferText,
                      CommandMode mode, std::string_view source, CommandReport report) {
    session.Devices().CommandSettled(key, CommandText(bufferText, mode), source,
                                     RefusalText(report.outcome), session.Now().wall);
    return report;
}

CommandReport HoldOrRefuse(Session& session, const std::string& key, std::string_view bufferText,
                           CommandMode mode, HoldFor who, std::string_view source) {
    ComposedCommand command = ComposeCommand(bufferText, mode);
    if (command.outcome != CommandOutcome::Sent) {
        return ReportOfComposed(command, bufferText);
    }
    std::string text = CommandText(bufferText, mode);
    const HoldResult held =
        session.Devices().Hold(key, std::move(command.datagram), text, session.Now(), who, source);
    switch (held.outcome) {
        case HoldResult::Outcome::Held:
            return {.outcome = CommandOutcome::Held, .heldId = held.id};
        case HoldResult::Outcome::NoDevice:
            return {.outcome = CommandOutcome::NoDevice, .key = key};
        case HoldResult::Outcome::KeysFull:
            return {.outcome = CommandOutcome::KeysFull,
                    .key = key,
                    .held = session.Devices().Settings().maxDevices,
                    .text = std::move(text)};
        case HoldResult::Outcome::Full:
            break;
    }
    return {.outcome = CommandOutcome::HeldFull,
            .key = key,
            .held = session.Devices().Settings().maxHeld,
            .text = std::move(text)};
}

}  // namespace

CommandReport SendCommand(Session& session, const std::optional<socket_info>& destination,
                          std::string_view bufferText, CommandMode mode, std::string_view source) {
    if (!destination) {
        return Refused(session, "", bufferText, mode, source, {CommandOutcome::NoClient});
    }
    const ComposedCommand command = ComposeCommand(bufferText, mode);
    if (command.outcome != CommandOutcome::Sent) {
        return Refused(session, destination->addr.Text(), bufferText, mode, source,
                       ReportOfComposed(command, bufferText));
    }
    const SendResult sent =
        session.SendToClient(Route(*destination, session.Clients().Newest()), command.datagram,
                             CommandText(bufferText, mode), source);
    if (sent.status == SendResult::Status::Failed) {
        return {CommandOutcome::SendFailed, sent.errorCode};
    }
    return {};
}

CommandBody ParseCommandBody(std::string_view text) {
    if (text.starts_with(kHexPrefix)) {
        return {text.substr(kHexPrefix.size()), CommandMode::Hex};
    }
    return {text, CommandMode::Text};
}

CommandReport SendToDevice(Session& session, const std::string& key, std::string_view bufferText,
                           CommandMode mode, std::string_view source) {
    const std::optional<DeviceRow> device = session.Devices().Device(key, session.Now());
    if (!device) {
        return Refused(session, key, bufferText, mode, source,
                       {.outcome = CommandOutcome::NoDevice, .key = key});
    }
    return SendCommand(session, device->client, bufferText, mode, source);
}

CommandReport HoldCommand(Session& session, const std::string& key, std::string_view bufferText,
                          CommandMode mode, HoldFor who, std::string_view source) {
    const CommandReport report = HoldOrRefuse(session, key, bufferText, mode, who, source);
    if (report.outcome != CommandOutcome::Held) {
        return Refused(session, key, bufferText, mode, source, report);
    }
    return report;
}

}  // namespace tarnwick
