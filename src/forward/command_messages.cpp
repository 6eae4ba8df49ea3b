#include "forward/command_messages.h"

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>

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

// "PREFIX/KIND/KEY": KIND, and KEY with its escapes undone; nothing for any other topic.
std::optional<std::pair<std::string_view, std::string>> KindAndKey(std::string_view prefix,
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
    return std::pair{rest.substr(0, slash), KeyOf(rest.substr(slash + 1))};
}

}  // namespace

std::optional<BrokerCommand> CommandOf(std::string_view prefix, std::string_view topic,
                                       std::string_view payload) {
    const auto levels = KindAndKey(prefix, topic);
    if (!levels || (levels->first != "hold" && levels->first != "command")) {
        return std::nullopt;
    }
    BrokerCommand command;
    command.hold = levels->first == "hold";
    command.key = levels->second;
    const nlohmann::json json = nlohmann::json::parse(payload, nullptr, false);
    if (json.is_object() && json.contains("text") && json.at("text").is_string()) {
        command.text = json.at("text").get<std::string>();
        command.id = json.contains("id")
                         ? (json.at("id").is_string() ? json.at("id").get<std::string>()
                                                      : json.at("id").dump())
                         : Digest({topic, "\n", payload});
    } else {
        command.text = std::string(payload);
        command.id = Digest({topic, "\n", payload});
    }
    return command;
}

std::optional<SentCommand> SentCommandOf(std::string_view prefix, std::string_view topic,
                                         std::string_view payload) {
    const auto levels = KindAndKey(prefix, topic);
    if (!levels || levels->first != "command-result") {
        return std::nullopt;
    }
    const nlohmann::json json = nlohmann::json::parse(payload, nullptr, false);
    if (!json.is_object() || json.value("state", nlohmann::json()) != "sent" ||
        !json.contains("id") || !json.at("id").is_string()) {
        return std::nullopt;
    }
    return SentCommand{levels->second, json.at("id").get<std::string>()};
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
