#include "forward/command_messages.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <utility>

#include "command/command_line.h"
#include "forward/payloads.h"

namespace tarnwick {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// TopicKey undone: "%XX" back to its byte.
std::string KeyOf(std::string_view level) {
    std::string key;
    for (std::size_t i = 0; i < level.size(); ++i) {
        const int high = i + 2 < level.size() && level[i] == '%' ? HexValue(level[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(level[i + 2]) : -1;
        if (low >= 0) {
            key += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            key += level[i];
        }
    }
    return key;
}

}  // namespace

std::string Digest(std::initializer_list<std::string_view> parts) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const std::string_view part : parts) {
        for (const char c : part) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        }
    }
    char text[17] = {};
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

namespace {

// "PREFIX/KIND/LEVEL": KIND and LEVEL; nothing for any other topic.
std::optional<std::pair<std::string_view, std::string_view>> KindAndLevel(std::string_view prefix,
                                                                          std::string_view topic) {
    if (!topic.starts_with(prefix) || !topic.substr(prefix.size()).starts_with('/')) {
        return std::nullopt;
    }
    const std::string_view rest = topic.substr(prefix.size() + 1);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos || slash + 1 == rest.size() ||
        rest.find('/', slash + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    return std::pair{rest.substr(0, slash), rest.substr(slash + 1)};
}

}  // namespace

namespace {

// {"id":...,"text":...}: text a string, id a string or a whole number; any other type refuses
// the command, as sending the literal payload would send what nobody typed. A refusal still
// goes back under the publisher's id where it gave one.
void ReadJsonCommand(const nlohmann::json& json, BrokerCommand& command) {
    const bool idGiven = json.contains("id");
    const bool idOk = !idGiven || json.at("id").is_string() || json.at("id").is_number_integer();
    if (idGiven && idOk) {
        command.id =
            json.at("id").is_string() ? json.at("id").get<std::string>() : json.at("id").dump();
    }
    if (!idOk || !json.contains("text") || !json.at("text").is_string()) {
        command.refused = kRefusedInvalid;
        return;
    }
    command.text = json.at("text").get<std::string>();
    if (json.contains("expires")) {
        const nlohmann::json& expires = json.at("expires");
        if (expires.is_number()) {
            command.expires = static_cast<std::time_t>(expires.get<double>());
        } else if (expires.is_string()) {
            command.expires = ExpiryOf(expires.get<std::string>());
        }
        if (!command.expires) {
            command.refused = kRefusedInvalid;
        }
    }
}

// "+HH:MM", "-HH:MM" or "Z": seconds east of UTC.
std::optional<int> OffsetOf(std::string_view text) {
    if (text == "Z" || text == "z") {
        return 0;
    }
    int hours = 0;
    int minutes = 0;
    char sign = 0;
    char colon = 0;
    int used = 0;
    const std::string zone(text);
    if (std::sscanf(zone.c_str(), "%c%2d%c%2d%n", &sign, &hours, &colon, &minutes, &used) != 4 ||
        used != static_cast<int>(zone.size()) || (sign != '+' && sign != '-') || colon != ':') {
        return std::nullopt;
    }
    return (sign == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
}

std::string_view RefusalOf(std::optional<LineFault> fault) {
    if (!fault) {
        return {};
    }
    return LineFaultWord(*fault);
}

}  // namespace

std::optional<BrokerCommand> CommandOf(std::string_view prefix, std::string_view topic,
                                       std::string_view payload) {
    const auto levels = KindAndLevel(prefix, topic);
    if (!levels || (levels->first != "hold" && levels->first != "command") || payload.empty()) {
        return std::nullopt;
    }
    BrokerCommand command{
        levels->first == "hold", KeyOf(levels->second), Digest({topic, "\n", payload}), {}};
    if (TopicKey(command.key) != levels->second) {
        command.key = levels->second;
        command.refused = kRefusedKey;
        return command;
    }
    const nlohmann::json json = nlohmann::json::parse(payload, nullptr, false);
    if (json.is_object()) {
        ReadJsonCommand(json, command);
    } else {
        command.text = std::string(payload);
    }
    if (command.refused.empty()) {
        command.refused = RefusalOf(CommandLineFault(command.text));
    }
    return command;
}

std::optional<SentCommand> SentCommandOf(std::string_view prefix, std::string_view topic,
                                         std::string_view payload) {
    const auto levels = KindAndLevel(prefix, topic);
    if (!levels || levels->first != "command-result") {
        return std::nullopt;
    }
    const nlohmann::json json = nlohmann::json::parse(payload, nullptr, false);
    if (!json.is_object() || json.value("state", nlohmann::json()) != "sent" ||
        !json.contains("id") || !json.at("id").is_string()) {
        return std::nullopt;
    }
    return SentCommand{KeyOf(levels->second), json.at("id").get<std::string>()};
}

std::optional<std::time_t> ExpiryOf(const std::string& text) {
    std::tm t{};
    int used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%*1[Tt ]%2d:%2d:%2d%n", &t.tm_year, &t.tm_mon,
                    &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec, &used) != 6) {
        return std::nullopt;
    }
    std::string_view zone = std::string_view(text).substr(static_cast<std::size_t>(used));
    if (zone.starts_with('.')) {  // a second's fraction is no matter here
        zone.remove_prefix(std::min(zone.find_first_not_of("0123456789", 1), zone.size()));
    }
    const std::optional<int> offset = OffsetOf(zone);
    if (!offset || t.tm_mon < 1 || t.tm_mon > 12 || t.tm_mday < 1 || t.tm_mday > 31) {
        return std::nullopt;
    }
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return timegm(&t) - *offset;
}

std::string_view ResultState(CommandOutcome outcome) {
    switch (outcome) {
        case CommandOutcome::Sent:
            return "sent";
        case CommandOutcome::Held:
            return "held";
        case CommandOutcome::NoClient:
        case CommandOutcome::NoDevice:
            return "no device";
        case CommandOutcome::HexPrompt:
        case CommandOutcome::HexNotHex:
        case CommandOutcome::HexTooLong:
            return "not hex";
        case CommandOutcome::HeldFull:
        case CommandOutcome::KeysFull:
            return "full";
        case CommandOutcome::SendFailed:
            break;
    }
    return "not sent";
}

std::string CommandResultPayload(const BrokerCommand& command, std::string_view state,
                                 std::time_t at) {
    return nlohmann::json{
        {"id", command.id}, {"state", state}, {"text", command.text}, {"at", IsoOf(at)}}
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tarnwick
