#pragma once

// The kinds of value the options take, each read once into its member of Options, and the
// defaults as the command line spells them: the cells of the option table.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/duration_text.h"
#include "app/options.h"

namespace tarnwick {

// A whole decimal number from low to high, nothing else: no sign, blank, prefix or overflow.
[[nodiscard]] std::optional<std::uint64_t> NumberIn(std::string_view text, std::uint64_t low,
                                                    std::uint64_t high);

template <typename Number, std::uint64_t Low, std::uint64_t High, auto Member>
bool TakeNumber(std::string_view text, Options& options) {
    const auto value = NumberIn(text, Low, High);
    if (value) {
        options.*Member = static_cast<Number>(*value);
    }
    return value.has_value();
}

// An empty path would put the log files at the root, or name no file at all.
template <auto Member>
bool TakePath(std::string_view text, Options& options) {
    if (text.empty()) {
        return false;
    }
    options.*Member = std::string(text);
    return true;
}

template <auto Member>
bool TakeDuration(std::string_view text, Options& options) {
    const auto duration = ParseDurationText(text);
    if (duration) {
        options.*Member = *duration;
    }
    return duration.has_value();
}

// "0", which turns resends off, or a duration.
bool TakeResendWindow(std::string_view text, Options& options);
bool TakeAddress(std::string_view text, Options& options);
bool TakeDeviceKey(std::string_view text, Options& options);
// "[ADDR:]PORT": an IPv4 address or an IPv6 one in brackets, then the port.
[[nodiscard]] std::optional<HttpEndpoint> EndpointOf(std::string_view text);

template <auto Member>
bool TakeEndpoint(std::string_view text, Options& options) {
    auto endpoint = EndpointOf(text);
    if (endpoint) {
        options.*Member = std::move(*endpoint);
    }
    return endpoint.has_value();
}
bool TakeBrokerUrl(std::string_view text, Options& options);
// One topic level or more, without the wildcards a subscriber uses.
bool TakeTopic(std::string_view text, Options& options);
// "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM", as the log's headers write it: "YYYY-MM-DD HH:MM:00".
bool TakeReplayFrom(std::string_view text, Options& options);
// The same for --find's --from; for --to a day alone reaches to its end.
bool TakeFindFrom(std::string_view text, Options& options);
bool TakeFindTo(std::string_view text, Options& options);
// "text", "csv" or "jsonl".
bool TakeFindFormat(std::string_view text, Options& options);
// A size as log/size_text.h reads it: "1GiB", "500M", "4096".
bool TakeMinFree(std::string_view text, Options& options);

// A number of days from 1 to 36500, or "never" (the default).
template <auto Member>
bool TakeDays(std::string_view text, Options& options) {
    const auto days = NumberIn(text, 1, 36500);
    if (days || text == "never") {
        options.*Member = days ? std::optional(static_cast<int>(*days)) : std::nullopt;
    }
    return days || text == "never";
}

template <auto Member>
std::string NumberDefault(const Options& defaults) {
    return std::to_string(defaults.*Member);
}

template <auto Member>
std::string DurationDefault(const Options& defaults) {
    return DurationText(defaults.*Member);
}

std::string DeviceKeyDefault(const Options& defaults);
std::string TopicDefault(const Options& defaults);
std::string NeverDefault(const Options& defaults);
std::string FindFormatDefault(const Options& defaults);

}  // namespace tarnwick
