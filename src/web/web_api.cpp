#include "web/web_api.h"

#include <sys/statvfs.h>

#include <charconv>

#include "command/command_line.h"
#include "command/hex_text.h"
#include "session/session.h"
#include "web/web_json.h"

namespace tarnwick {
namespace {

constexpr std::size_t kMostDevicesPaged = 1000;
constexpr std::string_view kDevicesPath = "/api/devices/";
constexpr std::string_view kCommandsPath = "/api/commands/";
constexpr std::string_view kCommandsTail = "/commands";

std::optional<std::size_t> Number(const std::map<std::string, std::string>& query,
                                  const std::string& name, std::size_t otherwise) {
    const auto found = query.find(name);
    if (found == query.end()) {
        return otherwise;
    }
    std::size_t value = 0;
    const std::string& text = found->second;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<WebReply> UnknownQuery(const WebRequest& request) {
    for (const auto& [name, value] : request.query) {
        if (name != "filter" && name != "sort" && name != "offset" && name != "limit") {
            return ErrorReply(400, "unknown parameter \"" + name +
                                       "\"; the list takes filter, sort, offset and limit");
        }
    }
    return std::nullopt;
}

std::optional<DeviceQuery> QueryOf(const WebRequest& request, std::string& why) {
    DeviceQuery query;
    if (const auto found = request.query.find("filter"); found != request.query.end()) {
        query.filter = found->second;
    }
    if (const auto found = request.query.find("sort"); found != request.query.end()) {
        const auto sort = ParseDeviceSort(found->second);
        if (!sort) {
            why = "no column \"" + found->second + "\" to sort by; one of " + DeviceColumnNames() +
                  ", with - before it for descending";
            return std::nullopt;
        }
        query.sort = *sort;
    }
    const auto offset = Number(request.query, "offset", 0);
    const auto limit = Number(request.query, "limit", query.limit);
    if (!offset || !limit || *limit == 0 || *limit > kMostDevicesPaged) {
        why = "offset is a whole number, and limit one from 1 to " +
              std::to_string(kMostDevicesPaged);
        return std::nullopt;
    }
    query.offset = *offset;
    query.limit = *limit;
    return query;
}

std::string LineFaultWords(LineFault fault) {
    switch (fault) {
        case LineFault::Empty:
            return "an empty command sends nothing";
        case LineFault::TooLong:
            return "a command is at most " + std::to_string(kLongestCommandLine) + " bytes";
        case LineFault::LineBreak:
            return "a command is one line, without a line break or a NUL";
    }
    return "";
}

// {"text": "...", "hold": true|false}, nothing else; why says what is wrong.
std::optional<std::pair<std::string, bool>> CommandBodyOf(const std::string& body,
                                                          std::string& why) {
    constexpr std::string_view kShape = "a command is {\"text\": \"...\", \"hold\": true|false}";
    const nlohmann::json json = nlohmann::json::parse(body, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        why = "the body is no JSON object; " + std::string(kShape);
        return std::nullopt;
    }
    for (const auto& [name, value] : json.items()) {
        if (name != "text" && name != "hold") {
            why = "unknown key \"" + name + "\"; " + std::string(kShape);
            return std::nullopt;
        }
    }
    if (!json.contains("text") || !json["text"].is_string() ||
        (json.contains("hold") && !json["hold"].is_boolean())) {
        why = std::string(kShape);
        return std::nullopt;
    }
    std::string text = json["text"].get<std::string>();
    if (const auto fault = CommandLineFault(text)) {
        why = LineFaultWords(*fault);
        return std::nullopt;
    }
    return std::pair{std::move(text), json.value("hold", false)};
}

WebReply Json(unsigned status, const nlohmann::json& body) {
    return {status, JsonText(body)};
}

}  // namespace

std::optional<std::string> PercentDecoded(std::string_view text, bool query) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+' && query) {
            decoded += ' ';
        } else if (text[i] != '%') {
            decoded += text[i];
        } else if (i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return decoded;
}

WebApi::WebApi(Session& session, WebGuard& guard, PageFeed& feed, ApiSources sources)
    : m_session(session),
      m_guard(guard),
      m_feed(feed),
      m_sources(std::move(sources)),
      m_index([&session] { return session.Devices().Devices(session.Now()); }) {}

ApiAnswer WebApi::Answer(const WebRequest& request) {
    if (auto refused = m_guard.Refusal(request)) {
        return {std::move(refused)};
    }
    if (!request.path.starts_with("/api/")) {
        if (request.method != "GET" && request.method != "HEAD") {
            return {ErrorReply(405, "the page's files are read with GET")};
        }
        auto file = StaticReply(request.path);
        return {file ? std::move(file) : ErrorReply(404, "no file " + request.path)};
    }
    if (request.path == "/api/login" || request.path == "/api/logout") {
        if (request.method != "POST") {
            return {ErrorReply(405, request.path + " takes POST")};
        }
        return {request.path == "/api/login"
                    ? m_guard.Login(request, std::chrono::steady_clock::now())
                    : m_guard.Logout(request)};
    }
    if (auto unauthorized = m_guard.Unauthorized(request, std::chrono::steady_clock::now())) {
        return {std::move(unauthorized)};
    }
    return Api(request);
}

ApiAnswer WebApi::Api(const WebRequest& request) {
    const std::string& path = request.path;
    const bool get = request.method == "GET" || request.method == "HEAD";
    if (path == "/api/devices" && get) {
        return {Devices(request)};
    }
    if (path == "/api/counters" && get) {
        return {Counters()};
    }
    if (path == "/api/events" && get) {
        const std::string_view last = request.Header("last-event-id");
        return {std::nullopt, std::nullopt,
                m_feed.Hub().Open(last.empty() ? std::nullopt : std::optional(last))};
    }
    if (path.starts_with(kCommandsPath) && request.method == "DELETE") {
        std::uint64_t id = 0;
        const std::string_view text = std::string_view(path).substr(kCommandsPath.size());
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
        if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
            return {ErrorReply(404, "no command " + std::string(text))};
        }
        return {std::nullopt, PageCommand{PageCommand::Kind::Cancel, {}, {}, id, request.client}};
    }
    if (path.starts_with(kDevicesPath)) {
        std::string_view rest = std::string_view(path).substr(kDevicesPath.size());
        const bool commands = rest.ends_with(kCommandsTail);
        if (commands) {
            rest.remove_suffix(kCommandsTail.size());
        }
        const auto key = PercentDecoded(rest, false);
        if (!key || key->empty() || rest.find('/') != std::string_view::npos) {
            return {ErrorReply(400, "a device's key in a path is escaped as in the MQTT topics")};
        }
        if (!commands && get) {
            return {Device(*key)};
        }
        if (commands && request.method == "POST") {
            return Command(request, *key);
        }
    }
    return {ErrorReply(404, "no " + request.method + " " + path + " in this API")};
}

WebReply WebApi::Devices(const WebRequest& request) {
    if (auto unknown = UnknownQuery(request)) {
        return *unknown;
    }
    std::string why;
    const auto query = QueryOf(request, why);
    if (!query) {
        return ErrorReply(400, why);
    }
    const DevicePage page = m_index.Page(*query, DeviceIndex::Clock::now());
    nlohmann::json devices = nlohmann::json::array();
    for (const DeviceRow& row : page.devices) {
        devices.push_back(DeviceJson(row));
    }
    return Json(200, {{"total", page.total},
                      {"matched", page.matched},
                      {"offset", query->offset},
                      {"devices", std::move(devices)}});
}

WebReply WebApi::Device(const std::string& key) {
    const auto row = m_session.Devices().Device(key, m_session.Now());
    if (!row) {
        return Json(404, {{"error", "no device " + key}});
    }
    nlohmann::json device = DeviceJson(*row);
    nlohmann::json records = nlohmann::json::array();
    for (const RecentRecord& record : m_feed.Recent().Of(key)) {
        records.push_back({{"id", record.id}, {"time", record.time}, {"line", record.line}});
    }
    nlohmann::json commands = nlohmann::json::array();
    for (const HeldCommand& command : m_session.Devices().HeldCommands()) {
        if (command.key == key) {
            commands.push_back(CommandJson(command));
        }
    }
    device["recentRecords"] = std::move(records);
    device["commands"] = std::move(commands);
    return Json(200, device);
}

ApiAnswer WebApi::Command(const WebRequest& request, const std::string& key) {
    std::string why;
    auto body = CommandBodyOf(request.body, why);
    if (!body) {
        return {ErrorReply(400, why)};
    }
    const auto kind = body->second ? PageCommand::Kind::Hold : PageCommand::Kind::Send;
    return {std::nullopt, PageCommand{kind, key, std::move(body->first), 0, request.client}};
}

WebReply WebApi::Counters() {
    const CounterSnapshot counters = m_session.Counters();
    nlohmann::json figures = nlohmann::json::object();
    for (const auto& field : kCounterFields<std::uint64_t>) {
        figures[std::string(field.label)] = counters.*field.member;
    }
    figures["dropped"] = Dropped(counters);
    // One point a second, the newest for the second now ending.
    const std::vector<RatePoint> points = m_session.Rates().Points();
    const auto newest = static_cast<std::int64_t>(std::time(nullptr));
    nlohmann::json history = nlohmann::json::array();
    for (std::size_t i = 0; i < points.size(); ++i) {
        history.push_back({{"t", newest - static_cast<std::int64_t>(points.size() - 1 - i)},
                           {"records", points[i].records},
                           {"drops", points[i].dropped}});
    }
    nlohmann::json broker = nullptr;
    if (const auto figuresOfBroker = m_sources.broker()) {
        broker = {{"state", figuresOfBroker->state},
                  {"backlog", figuresOfBroker->backlog},
                  {"backlogSeconds", figuresOfBroker->backlogSeconds}};
    }
    const std::string file = m_session.LogFile();
    const std::string folder = file.substr(0, file.rfind('/'));
    struct statvfs disk {};
    const std::uint64_t freeBytes = statvfs(folder.c_str(), &disk) == 0
                                        ? static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize
                                        : 0;
    return Json(200, {{"counters", std::move(figures)},
                      {"history", std::move(history)},
                      {"broker", std::move(broker)},
                      {"log", {{"folder", folder}, {"freeBytes", freeBytes}}}});
}

}  // namespace tarnwick
