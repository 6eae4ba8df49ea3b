#pragma once

// The devices list of the operator page, filtered, sorted and paged here, so that 100,000
// devices cost the browser one page of them. It answers from a snapshot of the device table
// taken at most once a second, and keeps each order it was asked for with the snapshot, so a
// request walks an index, never the table under its lock.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/device_table.h"

namespace tarnwick {

// The columns a list can be sorted by, as the API names them.
enum class DeviceColumn {
    Key,
    Address,
    Port,
    FirstHeard,
    LastHeard,
    Records,
    Resends,
    LatestRecord,
    CommandsHeld,
    CommandsSent,
    LatestCommand,
    LatestCommandAt,
    Silent,
};

// "key", "-lastHeard": the column and whether it runs downwards; nothing for no column's name.
struct DeviceSort {
    DeviceColumn column = DeviceColumn::Key;
    bool descending = false;
    bool operator==(const DeviceSort&) const = default;
};
[[nodiscard]] std::optional<DeviceSort> ParseDeviceSort(std::string_view text);
// Every column's name, for the refusal of one that is none.
[[nodiscard]] std::string DeviceColumnNames();

struct DeviceQuery {
    std::string filter;  // the key or the latest record holds it, in any case
    DeviceSort sort;
    std::size_t offset = 0;
    std::size_t limit = 100;
};

struct DevicePage {
    std::size_t total = 0;    // devices in the table
    std::size_t matched = 0;  // of them, those the filter took
    std::vector<DeviceRow> devices;
};

class DeviceIndex {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kFreshFor = std::chrono::seconds(1);

    // rows: the device table's snapshot, as Devices() gives it.
    explicit DeviceIndex(std::function<std::vector<DeviceRow>()> rows) : m_rows(std::move(rows)) {}

    // Any thread.
    [[nodiscard]] DevicePage Page(const DeviceQuery& query, Clock::time_point now);

private:
    struct Snapshot {
        std::vector<DeviceRow> rows;
        Clock::time_point taken;
        std::mutex mutex;  // for the orders, made when first asked
        std::map<DeviceColumn, std::vector<std::uint32_t>> orders;
        // Each row's key and latest record in lower case, made for the first filter: a filter
        // then is a plain search.
        std::vector<std::string> folded;
        // The last filter asked, in the order it was asked in: a page further costs no scan.
        std::string filter;
        DeviceColumn filterColumn = DeviceColumn::Key;
        std::vector<std::uint32_t> filtered;
    };

    std::shared_ptr<Snapshot> Current(Clock::time_point now);
    // Under the snapshot's mutex.
    static const std::vector<std::uint32_t>& Order(Snapshot& snapshot, DeviceColumn column);
    static const std::vector<std::uint32_t>& Filtered(Snapshot& snapshot, const DeviceQuery& query);

    std::function<std::vector<DeviceRow>()> m_rows;
    std::mutex m_mutex;  // one refresh at a time; the others wait for it
    std::shared_ptr<Snapshot> m_snapshot;
};

}  // namespace tarnwick
