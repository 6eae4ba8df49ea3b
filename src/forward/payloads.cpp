#include "forward/payloads.h"

#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <sstream>

#include "record/record_rules.h"

namespace tarnwick {
namespace {

bool Escaped(unsigned char byte) {
    return byte < 0x21 || byte >= 0x7F || byte == '/' || byte == '+' || byte == '#' || byte == '%';
}

// "+HH:MM" of the local time t names, as the zone rules have it that day.
std::string UtcOffsetOf(std::tm t) {
    t.tm_isdst = -1;
    const std::time_t at = std::mktime(&t);
    std::tm local{};
    if (at == -1 || localtime_r(&at, &local) == nullptr) {
        return "";
    }
    const long minutes = local.tm_gmtoff / 60;
    const long magnitude = minutes < 0 ? -minutes : minutes;
    char text[32] = {};
    std::snprintf(text, sizeof text, "%c%02ld:%02ld", minutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

// The blanks and line breaks of logged hex text cut down to one blank between bytes.
std::string HexBytes(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::string bytes;
    for (std::string byte; in >> byte;) {
        bytes += (bytes.empty() ? "" : " ") + byte;
    }
    return bytes;
}

}  // namespace

std::string TopicKey(std::string_view key) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string level;
    level.reserve(key.size());
    for (const char c : key) {
        const auto byte = static_cast<unsigned char>(c);
        if (Escaped(byte)) {
            level += '%';
            level += kDigits[byte >> 4];
            level += kDigits[byte & 0x0F];
        } else {
            level += c;
        }
    }
    return level;
}

std::string IsoLocalTime(std::string_view logTime) {
    // The zone's offset is looked up once per second of log time: a flood shares its seconds.
    thread_local std::string lastTime;
    thread_local std::string lastIso;
    if (logTime == lastTime) {
        return lastIso;
    }
    std::tm t{};
    std::istringstream in{std::string(logTime)};
    char dash1 = 0;
    char dash2 = 0;
    char colon1 = 0;
    char colon2 = 0;
    in >> t.tm_year >> dash1 >> t.tm_mon >> dash2 >> t.tm_mday >> t.tm_hour >> colon1 >> t.tm_min >>
        colon2 >> t.tm_sec;
    if (!in || dash1 != '-' || dash2 != '-' || colon1 != ':' || colon2 != ':') {
        return std::string(logTime);
    }
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    std::string iso(logTime);
    iso[10] = 'T';
    iso += UtcOffsetOf(t);
    lastTime = logTime;
    lastIso = iso;
    return iso;
}

std::string RecordPayload(const LogEntry& entry, std::string_view key, bool resent) {
    nlohmann::json payload{{"key", key},           {"address", entry.address},
                           {"port", entry.port},   {"time", IsoLocalTime(entry.time)},
                           {"record", entry.text}, {"code", CodeField(entry.text)}};
    if (resent) {
        payload["resent"] = true;
    }
    return payload.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// A wall-clock time as ISO 8601 local time with its UTC offset.
std::string IsoOf(std::time_t at) {
    std::tm local{};
    localtime_r(&at, &local);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return IsoLocalTime(text);
}

std::string DevicePayload(const DeviceRow& device) {
    return nlohmann::json{{"key", device.key},
                          {"address", device.client.addr.Text()},
                          {"port", device.client.addr.Port()},
                          {"first heard", IsoOf(device.firstHeard)},
                          {"last heard", IsoOf(device.lastHeard)},
                          {"records", device.records},
                          {"silent", device.silent}}
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string OnlinePayload(const CounterSnapshot& counters, const ForwardState& forward,
                          const LogSpace& space) {
    nlohmann::json payload{{"state", "online"}};
    for (const auto& field : kCounterFields<std::uint64_t>) {
        payload[std::string(field.label)] = counters.*field.member;
    }
    if (space.measured) {
        payload["log bytes"] = space.folderBytes;
        payload["log free bytes"] = space.freeBytes;
    }
    payload["backlog records"] = forward.backlogRecords;
    payload["backlog seconds"] = forward.backlogSeconds;
    if (forward.positionError.empty()) {
        payload["position"] = "saved";
    } else {
        payload["position"] = "not saved: " + forward.positionError;
        payload["sent again at a restart"] = forward.sentAgainAtRestart;
    }
    return payload.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string HexPayload(const LogEntry& entry) {
    return nlohmann::json{{"address", entry.address},
                          {"port", entry.port},
                          {"time", IsoLocalTime(entry.time)},
                          {"hex", HexBytes(entry.text)}}
        .dump();
}

}  // namespace tarnwick
