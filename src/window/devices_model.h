#pragma once

// The Devices window's table: one row per device, kept in place between refreshes (rows are
// matched by key) so that the view's sorting and selection survive them.

#include <QAbstractTableModel>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "session/device_table.h"

namespace tarnwick {

class DevicesModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        Key,
        Address,
        Port,
        FirstHeard,
        LastHeard,
        Age,
        Records,
        Resends,
        LatestRecord,
        CommandsHeld,
        CommandsSent,
        LatestCommand,
        LatestCommandAt,
        ColumnCount
    };
    // What the columns sort by: numbers as numbers, times as times.
    static constexpr int kSortRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    // The table as of now: changed rows are updated, new ones added, forgotten ones removed.
    void Refresh(std::vector<DeviceRow> devices, std::time_t now);
    [[nodiscard]] std::optional<DeviceRow> RowAt(int row) const;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

private:
    [[nodiscard]] QVariant Text(const DeviceRow& device, int column) const;
    [[nodiscard]] QVariant SortValue(const DeviceRow& device, int column) const;
    void RemoveForgotten(const std::vector<DeviceRow>& devices);

    std::vector<DeviceRow> m_rows;
    std::time_t m_now = 0;
};

}  // namespace tarnwick
