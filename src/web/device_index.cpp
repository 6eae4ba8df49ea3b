#include "web/device_index.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iterator>
#include <numeric>
#include <tuple>
#include <utility>

namespace tarnwick {
namespace {

constexpr std::array<std::pair<std::string_view, DeviceColumn>, 13> kColumns = {{
    {"key", DeviceColumn::Key},
    {"address", DeviceColumn::Address},
    {"port", DeviceColumn::Port},
    {"firstHeard", DeviceColumn::FirstHeard},
    {"lastHeard", DeviceColumn::LastHeard},
    {"records", DeviceColumn::Records},
    {"resends", DeviceColumn::Resends},
    {"latestRecord", DeviceColumn::LatestRecord},
    {"commandsHeld", DeviceColumn::CommandsHeld},
    {"commandsSent", DeviceColumn::CommandsSent},
    {"latestCommand", DeviceColumn::LatestCommand},
    {"latestCommandAt", DeviceColumn::LatestCommandAt},
    {"silent", DeviceColumn::Silent},
}};

// Whether a goes before b in column; the key breaks ties, so every order is one order.
bool Before(const DeviceRow& a, const DeviceRow& b, DeviceColumn column) {
    const auto by = [&](const auto& x, const auto& y) {
        return std::tie(x, a.key) < std::tie(y, b.key);
    };
    switch (column) {
        case DeviceColumn::Key:
            return a.key < b.key;
        case DeviceColumn::Address:
            return by(a.client.addr.OrderKey(), b.client.addr.OrderKey());
        case DeviceColumn::Port:
            return by(a.client.addr.Port(), b.client.addr.Port());
        case DeviceColumn::FirstHeard:
            return by(a.firstHeard, b.firstHeard);
        case DeviceColumn::LastHeard:
            return by(a.lastHeard, b.lastHeard);
        case DeviceColumn::Records:
            return by(a.records, b.records);
        case DeviceColumn::Resends:
            return by(a.resends, b.resends);
        case DeviceColumn::LatestRecord:
            return by(a.latestRecord, b.latestRecord);
        case DeviceColumn::CommandsHeld:
            return by(a.commandsHeld, b.commandsHeld);
        case DeviceColumn::CommandsSent:
            return by(a.commandsSent, b.commandsSent);
        case DeviceColumn::LatestCommand:
            return by(a.latestCommand, b.latestCommand);
        case DeviceColumn::LatestCommandAt:
            return by(a.latestCommandAt, b.latestCommandAt);
        case DeviceColumn::Silent:
            return by(a.silent, b.silent);
    }
    return false;
}

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

void AppendFolded(std::string& out, std::string_view text) {
    std::ranges::transform(text, std::back_inserter(out), Lower);
}

}  // namespace

std::optional<DeviceSort> ParseDeviceSort(std::string_view text) {
    DeviceSort sort;
    if (text.starts_with('-')) {
        sort.descending = true;
        text.remove_prefix(1);
    }
    const auto found =
        std::ranges::find(kColumns, text, &std::pair<std::string_view, DeviceColumn>::first);
    if (found == kColumns.end()) {
        return std::nullopt;
    }
    sort.column = found->second;
    return sort;
}

std::string DeviceColumnNames() {
    std::string names;
    for (const auto& [name, column] : kColumns) {
        names += (names.empty() ? "" : ", ") + std::string(name);
    }
    return names;
}

std::shared_ptr<DeviceIndex::Snapshot> DeviceIndex::Current(Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    if (!m_snapshot || now - m_snapshot->taken >= kFreshFor) {
        auto snapshot = std::make_shared<Snapshot>();
        snapshot->rows = m_rows();
        snapshot->taken = now;
        m_snapshot = std::move(snapshot);
    }
    return m_snapshot;
}

const std::vector<std::uint32_t>& DeviceIndex::Order(Snapshot& snapshot, DeviceColumn column) {
    auto [order, made] = snapshot.orders.try_emplace(column);
    if (made) {
        order->second.resize(snapshot.rows.size());
        std::iota(order->second.begin(), order->second.end(), 0U);
        std::ranges::sort(order->second, [&](std::uint32_t a, std::uint32_t b) {
            return Before(snapshot.rows[a], snapshot.rows[b], column);
        });
    }
    return order->second;
}

const std::vector<std::uint32_t>& DeviceIndex::Filtered(Snapshot& snapshot,
                                                        const DeviceQuery& query) {
    std::string needle;
    AppendFolded(needle, query.filter);
    if (snapshot.filter == needle && snapshot.filterColumn == query.sort.column &&
        !snapshot.filtered.empty()) {
        return snapshot.filtered;
    }
    if (snapshot.folded.empty()) {
        snapshot.folded.resize(snapshot.rows.size());
        for (std::size_t i = 0; i < snapshot.rows.size(); ++i) {
            // A line feed joins the two: no filter of one line matches across them.
            AppendFolded(snapshot.folded[i], snapshot.rows[i].key);
            snapshot.folded[i] += '\n';
            AppendFolded(snapshot.folded[i], snapshot.rows[i].latestRecord);
        }
    }
    snapshot.filtered.clear();
    for (const std::uint32_t at : Order(snapshot, query.sort.column)) {
        if (snapshot.folded[at].find(needle) != std::string::npos) {
            snapshot.filtered.push_back(at);
        }
    }
    snapshot.filter = std::move(needle);
    snapshot.filterColumn = query.sort.column;
    return snapshot.filtered;
}

DevicePage DeviceIndex::Page(const DeviceQuery& query, Clock::time_point now) {
    const std::shared_ptr<Snapshot> snapshot = Current(now);
    std::lock_guard lock(snapshot->mutex);
    const std::vector<std::uint32_t>& matched =
        query.filter.empty() ? Order(*snapshot, query.sort.column) : Filtered(*snapshot, query);
    DevicePage page{snapshot->rows.size(), matched.size(), {}};
    for (std::size_t i = query.offset; i < matched.size() && i < query.offset + query.limit; ++i) {
        const std::size_t at = query.sort.descending ? matched.size() - 1 - i : i;
        page.devices.push_back(snapshot->rows[matched[at]]);
    }
    return page;
}

}  // namespace tarnwick
