#include "session/device_key.h"

namespace tarnwick {
namespace {

constexpr std::string_view kAddressRule = "address";
constexpr std::string_view kIpRule = "ip";
constexpr std::string_view kField = "field:";

}  // namespace

std::optional<DeviceKeyRule> ParseDeviceKeyRule(std::string_view text) {
    using Kind = DeviceKeyRule::Kind;
    if (text == kAddressRule) {
        return DeviceKeyRule{Kind::Address, {}};
    }
    if (text == kIpRule) {
        return DeviceKeyRule{Kind::Ip, {}};
    }
    if (text.starts_with(kField) && text.size() > kField.size() &&
        text.find_first_of(",;:#", kField.size()) == std::string_view::npos) {
        return DeviceKeyRule{Kind::Field, std::string(text.substr(kField.size()))};
    }
    return std::nullopt;
}

std::string DeviceKeyRuleText(const DeviceKeyRule& rule) {
    switch (rule.kind) {
        case DeviceKeyRule::Kind::Address:
            return std::string(kAddressRule);
        case DeviceKeyRule::Kind::Ip:
            return std::string(kIpRule);
        case DeviceKeyRule::Kind::Field:
            break;
    }
    return std::string(kField) + rule.field;
}

std::optional<std::string_view> FieldValue(std::string_view record, std::string_view name) {
    for (std::size_t at = record.find(name); at != std::string_view::npos;
         at = record.find(name, at + 1)) {
        const std::size_t colon = at + name.size();
        const bool starts = at > 0 && (record[at - 1] == ';' || record[at - 1] == ',');
        if (!starts || colon >= record.size() || record[colon] != ':') {
            continue;
        }
        std::size_t end = record.find(';', colon + 1);
        if (end == std::string_view::npos) {
            end = record.ends_with('#') ? record.size() - 1 : record.size();
        }
        if (end <= colon + 1) {
            return std::nullopt;
        }
        return record.substr(colon + 1, end - colon - 1);
    }
    return std::nullopt;
}

std::string DeviceKeyOf(const DeviceKeyRule& rule, std::string_view record,
                        std::string_view address, int port) {
    using Kind = DeviceKeyRule::Kind;
    if (rule.kind == Kind::Field) {
        if (const auto value = FieldValue(record, rule.field)) {
            return std::string(*value);
        }
    }
    if (rule.kind == Kind::Ip) {
        return std::string(address);
    }
    // The port's colon must not read as one more of an IPv6 address's own.
    const bool ipv6 = address.find(':') != std::string_view::npos;
    std::string key = ipv6 ? "[" + std::string(address) + "]" : std::string(address);
    key += ':';
    key += std::to_string(port);
    return key;
}

}  // namespace tarnwick
