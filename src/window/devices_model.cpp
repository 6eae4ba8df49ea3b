#include "window/devices_model.h"

#include <arpa/inet.h>

#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <unordered_map>
#include <unordered_set>

#include "log/time_text.h"
#include "window/device_texts.h"

namespace tarnwick {
namespace {

constexpr const char* kHeaders[DevicesModel::ColumnCount] = {
    "Key",     "Address",       "Port", "First heard", "Last heard",     "Age",         "Records",
    "Resends", "Latest record", "Held", "Sent",        "Latest command", "Command sent"};

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString TimeText(std::time_t t) {
    return Latin1(ClockText(LocalTimeOf(t)));
}

}  // namespace

void DevicesModel::Refresh(std::vector<DeviceRow> devices, std::time_t now) {
    m_now = now;
    RemoveForgotten(devices);
    std::unordered_map<std::string, std::size_t> at;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        at.emplace(m_rows[i].key, i);
    }
    std::vector<DeviceRow> added;
    for (DeviceRow& device : devices) {
        const auto found = at.find(device.key);
        if (found == at.end()) {
            added.push_back(std::move(device));
        } else {
            m_rows[found->second] = std::move(device);
        }
    }
    if (!m_rows.empty()) {
        // Every row's age moves on with the clock, so every row changes.
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
    }
    if (!added.empty()) {
        const int first = rowCount();
        beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
        std::move(added.begin(), added.end(), std::back_inserter(m_rows));
        endInsertRows();
    }
}

void DevicesModel::RemoveForgotten(const std::vector<DeviceRow>& devices) {
    std::unordered_set<std::string> known;
    for (const DeviceRow& device : devices) {
        known.insert(device.key);
    }
    for (int row = rowCount() - 1; row >= 0; --row) {
        if (!known.contains(m_rows[static_cast<std::size_t>(row)].key)) {
            beginRemoveRows({}, row, row);
            m_rows.erase(m_rows.begin() + row);
            endRemoveRows();
        }
    }
}

std::optional<DeviceRow> DevicesModel::RowAt(int row) const {
    if (row < 0 || row >= rowCount()) {
        return std::nullopt;
    }
    return m_rows[static_cast<std::size_t>(row)];
}

int DevicesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int DevicesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DevicesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const DeviceRow& device = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return Text(device, index.column());
        case kSortRole:
            return SortValue(device, index.column());
        case Qt::FontRole: {
            QFont font;
            font.setItalic(device.silent);
            return device.silent ? QVariant(font) : QVariant();
        }
        case Qt::ForegroundRole:
            return device.silent ? QVariant(QGuiApplication::palette().color(QPalette::Disabled,
                                                                             QPalette::Text))
                                 : QVariant();
        default:
            return {};
    }
}

QVariant DevicesModel::Text(const DeviceRow& device, int column) const {
    switch (column) {
        case Key:
            return Latin1(device.key);
        case Address:
            return Latin1(device.client.addr.Text());
        case Port:
            return device.client.addr.Port();
        case FirstHeard:
            return TimeText(device.firstHeard);
        case LastHeard:
            return TimeText(device.lastHeard);
        case Age: {
            const QString age = Latin1(AgeText(m_now - device.lastHeard));
            return device.silent ? QStringLiteral("silent, ") + age : age;
        }
        case Records:
            return QVariant::fromValue(device.records);
        case Resends:
            return QVariant::fromValue(device.resends);
        case LatestRecord:
            return Latin1(device.latestRecord);
        case CommandsHeld:
            return QVariant::fromValue(device.commandsHeld);
        case CommandsSent:
            return QVariant::fromValue(device.commandsSent);
        case LatestCommand:
            return Latin1(device.latestCommand);
        case LatestCommandAt:
            return device.latestCommandAt != 0 ? TimeText(device.latestCommandAt) : QString();
        default:
            return {};
    }
}

QVariant DevicesModel::SortValue(const DeviceRow& device, int column) const {
    switch (column) {
        case Address:
            return QByteArray::fromStdString(device.client.addr.OrderKey());
        case FirstHeard:
            return QVariant::fromValue(static_cast<qint64>(device.firstHeard));
        case LastHeard:
            return QVariant::fromValue(static_cast<qint64>(device.lastHeard));
        case LatestCommandAt:
            return QVariant::fromValue(static_cast<qint64>(device.latestCommandAt));
        case Age:
            return QVariant::fromValue(static_cast<qint64>(m_now - device.lastHeard));
        default:
            return Text(device, column);
    }
}

QVariant DevicesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount) {
        return {};
    }
    return QString::fromLatin1(kHeaders[section]);
}

}  // namespace tarnwick
