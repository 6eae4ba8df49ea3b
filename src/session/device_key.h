#pragma once

// What makes two records come from one device: the source address and port (the default,
// which never merges two devices), the address alone (--device-key ip: fixed addresses on a
// private APN, the newest port kept), or the value of a field of the record
// (--device-key field:NAME, for records that carry an identity), falling back to the source
// address when the record has no such field.

#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

struct DeviceKeyRule {
    enum class Kind { Address, Ip, Field };  // the option's words: address and port, ip alone
    Kind kind = Kind::Address;
    std::string field;  // Kind::Field: the field's name
    bool operator==(const DeviceKeyRule&) const = default;
};

// "address" (the default), "ip" or "field:NAME"; nothing for any other text.
[[nodiscard]] std::optional<DeviceKeyRule> ParseDeviceKeyRule(std::string_view text);

// The rule as ParseDeviceKeyRule reads it back.
[[nodiscard]] std::string DeviceKeyRuleText(const DeviceKeyRule& rule);

// The value of the record's field NAME: what follows "NAME:" right after a "," or ";", up to
// the next ";" (or the record's closing "#"). Nothing when the record has no such field or
// its value is empty.
[[nodiscard]] std::optional<std::string_view> FieldValue(std::string_view record,
                                                         std::string_view name);

// The device's key: "ADDR:PORT" ("[ADDR]:PORT" for IPv6), "ADDR", or the field's value.
[[nodiscard]] std::string DeviceKeyOf(const DeviceKeyRule& rule, std::string_view record,
                                      std::string_view address, int port);

}  // namespace tarnwick
