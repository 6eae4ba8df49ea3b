#include "app/option_values.h"

#include <arpa/inet.h>

#include <charconv>
#include <chrono>
#include <limits>
#include <utility>

#include "log/size_text.h"
#include "session/device_key.h"

namespace tarnwick {

std::optional<std::uint64_t> NumberIn(std::string_view text, std::uint64_t low,
                                      std::uint64_t high) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        return std::nullopt;
    }
    return value;
}

bool TakeAddress(std::string_view text, Options& options) {
    options.bind = PeerAddress::FromText(std::string(text), 0);
    return options.bind.has_value();
}

bool TakeDeviceKey(std::string_view text, Options& options) {
    const auto rule = ParseDeviceKeyRule(text);
    if (rule) {
        options.deviceKey = *rule;
    }
    return rule.has_value();
}

std::optional<HttpEndpoint> EndpointOf(std::string_view text) {
    HttpEndpoint endpoint;
    std::string_view port = text;
    if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
        std::string_view address = text.substr(0, colon);
        const int family = address.starts_with('[') && address.ends_with(']') ? AF_INET6 : AF_INET;
        if (family == AF_INET6) {
            address = address.substr(1, address.size() - 2);
        }
        endpoint.address = std::string(address);
        in6_addr parsed{};
        if (inet_pton(family, endpoint.address.c_str(), &parsed) != 1) {
            return std::nullopt;
        }
        port = text.substr(colon + 1);
    }
    const auto number = NumberIn(port, 0, std::numeric_limits<std::uint16_t>::max());
    if (!number) {
        return std::nullopt;
    }
    endpoint.port = static_cast<std::uint16_t>(*number);
    return endpoint;
}

bool TakeBrokerUrl(std::string_view text, Options& options) {
    options.mqtt = ParseBrokerUrl(text);
    return options.mqtt.has_value();
}

bool TakeTopic(std::string_view text, Options& options) {
    if (text.empty() || text.find_first_of("+#") != std::string_view::npos || text.front() == '/' ||
        text.back() == '/') {
        return false;
    }
    options.mqttTopic = std::string(text);
    return true;
}

namespace {

int NumberAt(std::string_view text, std::size_t at, std::size_t digits) {
    int number = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        number = number * 10 + (text[i] - '0');
    }
    return number;
}

// "YYYY-MM-DD" (and "THH:MM") that names a day of the calendar and a time of the day: a
// 2026-13-01 would replay from no day at all.
bool IsCalendarTime(std::string_view text) {
    const std::chrono::year_month_day day{
        std::chrono::year(NumberAt(text, 0, 4)),
        std::chrono::month(static_cast<unsigned>(NumberAt(text, 5, 2))),
        std::chrono::day(static_cast<unsigned>(NumberAt(text, 8, 2)))};
    return day.ok() &&
           (text.size() == 10 || (NumberAt(text, 11, 2) < 24 && NumberAt(text, 14, 2) < 60));
}

// "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM" as the log's headers write times; dayEnd: the time a day
// alone stands for.
std::optional<std::string> LogTimeOf(std::string_view text, std::string_view dayEnd) {
    constexpr std::string_view kShape = "dddd-dd-ddTdd:dd";
    if (text.size() != 10 && text.size() != kShape.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (kShape[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != kShape[i]) {
            return std::nullopt;
        }
    }
    if (!IsCalendarTime(text)) {
        return std::nullopt;
    }
    std::string time(text.substr(0, 10));
    time += text.size() == 10 ? std::string(dayEnd) : " " + std::string(text.substr(11)) + ":00";
    return time;
}

template <auto Member>
bool TakeLogTime(std::string_view text, Options& options, std::string_view dayEnd) {
    const auto time = LogTimeOf(text, dayEnd);
    if (time) {
        options.*Member = *time;
    }
    return time.has_value();
}

constexpr std::string_view kDayStart = " 00:00:00";
constexpr std::string_view kAfterDay = " 24:00:00";  // after every time of the day

}  // namespace

bool TakeResendWindow(std::string_view text, Options& options) {
    if (text == "0") {
        options.resendWindow = std::chrono::seconds(0);
        return true;
    }
    return TakeDuration<&Options::resendWindow>(text, options);
}

bool TakeReplayFrom(std::string_view text, Options& options) {
    return TakeLogTime<&Options::mqttReplayFrom>(text, options, kDayStart);
}

bool TakeFindFrom(std::string_view text, Options& options) {
    return TakeLogTime<&Options::findFrom>(text, options, kDayStart);
}

bool TakeFindTo(std::string_view text, Options& options) {
    return TakeLogTime<&Options::findTo>(text, options, kAfterDay);
}

bool TakeFindFormat(std::string_view text, Options& options) {
    constexpr std::pair<std::string_view, FindFormat> kFormats[] = {
        {"text", FindFormat::Text}, {"csv", FindFormat::Csv}, {"jsonl", FindFormat::Jsonl}};
    for (const auto& [name, format] : kFormats) {
        if (text == name) {
            options.findFormat = format;
            return true;
        }
    }
    return false;
}

bool TakeMinFree(std::string_view text, Options& options) {
    const auto size = ParseSize(text);
    if (size) {
        options.minFree = *size;
    }
    return size.has_value();
}

std::string DeviceKeyDefault(const Options& defaults) {
    return DeviceKeyRuleText(defaults.deviceKey);
}

std::string TopicDefault(const Options& defaults) {
    return defaults.mqttTopic;
}

std::string NeverDefault(const Options& /*defaults*/) {
    return "never";
}

std::string FindFormatDefault(const Options& /*defaults*/) {
    return "text";
}

}  // namespace tarnwick
