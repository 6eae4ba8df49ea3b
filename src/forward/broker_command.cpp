#include "forward/broker_command.h"

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>

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

// FNV-1a, 64 bits, as 16 hex digits: the same message gives the same id on every centre.
std::string Digest(std::string_view topic, std::string_view payload) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const std::string_view part : {topic, std::string_view("\n", 1), payload}) {
        for (const char c : part) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        }
    }
    char text[17] = {};
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

}  // namespace

std::optional<BrokerCommand> CommandOf(std::string_view prefix, std::string_view topic,
                                       std::string_view payload) {
    if (!topic.starts_with(prefix) || !topic.substr(prefix.size()).starts_with('/')) {
        return std::nullopt;
    }
    std::string_view rest = topic.substr(prefix.size() + 1);
    BrokerCommand command;
    if (rest.starts_with("hold/")) {
        command.hold = true;
        rest.remove_prefix(5);
    } else if (rest.starts_with("command/")) {
        rest.remove_prefix(8);
    } else {
        return std::nullopt;
    }
    if (rest.empty() || rest.find('/') != std::string_view::npos) {
        return std::nullopt;
    }
    command.key = KeyOf(rest);
    const nlohmann::json json = nlohmann::json::parse(payload, nullptr, false);
    if (json.is_object() && json.contains("text") && json.at("text").is_string()) {
        command.text = json.at("text").get<std::string>();
        command.id = json.contains("id")
                         ? (json.at("id").is_string() ? json.at("id").get<std::string>()
                                                      : json.at("id").dump())
                         : Digest(topic, payload);
    } else {
        command.text = std::string(payload);
        command.id = Digest(topic, payload);
    }
    return command;
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
