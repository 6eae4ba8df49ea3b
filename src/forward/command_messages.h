#pragma once

// Commands that come through the broker: PREFIX/command/KEY sends one to the device now,
// PREFIX/hold/KEY holds it for the device's next report. The payload is the command as a line
// on standard input takes it (text, or "hex:" and hex text), or {"id":...,"text":...}; every
// outcome goes back to PREFIX/command-result/KEY under the command's id. Here those messages
// are read into commands, and the results written. A JSON command may say until when it may
// leave: "expires" as whole seconds since 1970 or an RFC 3339 time ("2026-03-07T14:05:09Z",
// "2026-03-07T15:05:09+01:00"); one run after it is settled as "expired" and not sent.
//
// Anyone who may publish on the broker reaches every device, so a broker's command follows the
// typed line's rules (command_line.h), and its key is taken only in the one form the centre
// publishes it in: a key written another way could pass a broker's topic rules for another.

#include <ctime>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "command/command_composer.h"
#include "command/command_line.h"

namespace tarnwick {

struct BrokerCommand {
    bool hold = false;
    std::string key;   // the device, its topic level's escapes undone
    std::string id;    // the payload's "id", or a digest of topic and payload
    std::string text;  // the command as a line on standard input takes it
    // Why it is not run, as its result says ("invalid", "too long", "invalid key"); empty for a
    // command to run. An "invalid key" command's key is its topic level as published.
    std::string_view refused{};
    std::optional<std::time_t> expires{};  // the payload's "expires"
    bool operator==(const BrokerCommand&) const = default;
};

// FNV-1a, 64 bits, of the parts one after another, as 16 hex digits: the same on every centre
// and across restarts.
[[nodiscard]] std::string Digest(std::initializer_list<std::string_view> parts);

inline constexpr std::string_view kRefusedKey = "invalid key";

// The command a message on topic carries; nothing for a topic that is no command's, and for an
// empty payload, which sends nothing (it is how a retained message is cleared).
[[nodiscard]] std::optional<BrokerCommand> CommandOf(std::string_view prefix,
                                                     std::string_view topic,
                                                     std::string_view payload);

// A command some centre reported "sent" on PREFIX/command-result/KEY: a copy of it held here
// is to be dropped.
struct SentCommand {
    std::string key;
    std::string id;
    bool operator==(const SentCommand&) const = default;
};

[[nodiscard]] std::optional<SentCommand> SentCommandOf(std::string_view prefix,
                                                       std::string_view topic,
                                                       std::string_view payload);

// "expires" as a time: whole seconds since 1970, or an RFC 3339 date and time with its offset.
[[nodiscard]] std::optional<std::time_t> ExpiryOf(const std::string& text);

// The state a command's outcome is reported as.
[[nodiscard]] std::string_view ResultState(CommandOutcome outcome);

// {"id","state","text","at"}: state is "held", "sent", "expired", "cancelled", "no device",
// "not hex" (or "full", "not sent"); at in ISO 8601 local time.
[[nodiscard]] std::string CommandResultPayload(const BrokerCommand& command, std::string_view state,
                                               std::time_t at);

}  // namespace tarnwick
