#include "headless/devices_csv.h"

#include <array>

namespace tarnwick {
namespace {

std::string TimeText(const LocalTime& t) {
    if (!t) {
        return {};
    }
    std::array<char, 32> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &*t);
    return {text.data(), length};
}

void AppendRow(std::string& out, const DeviceRow& row,
               const std::function<LocalTime(std::time_t)>& localTime) {
    const std::string fields[] = {
        CsvField(row.key),
        CsvField(row.client.addr.Text()),
        std::to_string(row.client.addr.Port()),
        TimeText(localTime(row.firstHeard)),
        TimeText(localTime(row.lastHeard)),
        std::to_string(row.records),
        CsvField(row.latestRecord),
        std::to_string(row.commandsHeld),
        std::to_string(row.commandsSent),
        row.silent ? "yes" : "no",
        CsvField(row.latestCommand),
        row.latestCommandAt != 0 ? TimeText(localTime(row.latestCommandAt)) : std::string(),
        std::to_string(row.resends),
    };
    for (const std::string& field : fields) {
        out += field;
        out += ',';
    }
    out.back() = '\r';
    out += '\n';
}

}  // namespace

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    return quoted;
}

std::string DevicesCsv(std::span<const DeviceRow> rows,
                       const std::function<LocalTime(std::time_t)>& localTime) {
    std::string out(kDevicesCsvHeader);
    for (const DeviceRow& row : rows) {
        AppendRow(out, row, localTime);
    }
    return out;
}

}  // namespace tarnwick
