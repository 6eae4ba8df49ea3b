#include "display/qt/row_column_model.h"

#include <ranges>

namespace tarnwick {

void RowColumnModel::StageOnTop(const std::vector<std::string>& rows) {
    for (const std::string& row : std::views::reverse(rows)) {
        m_bytes += row;
        m_ends.push_back(m_bytes.size());
    }
}

void RowColumnModel::Commit() {
    const std::size_t staged = m_ends.size() - m_shown;
    if (staged == 0) {
        return;
    }
    beginInsertRows(QModelIndex(), 0, static_cast<int>(staged) - 1);
    m_shown = m_ends.size();
    endInsertRows();
}

void RowColumnModel::Clear() {
    beginResetModel();
    m_bytes = std::string();
    m_ends = std::vector<std::uint64_t>();
    m_shown = 0;
    endResetModel();
}

std::string_view RowColumnModel::Row(int row) const {
    const std::size_t at = m_shown - 1 - static_cast<std::size_t>(row);
    const std::uint64_t begin = at == 0 ? 0 : m_ends[at - 1];
    return std::string_view(m_bytes).substr(begin, m_ends[at] - begin);
}

int RowColumnModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_shown);
}

QVariant RowColumnModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const std::string_view row = Row(index.row());
    return QString::fromLatin1(row.data(), static_cast<qsizetype>(row.size()));
}

}  // namespace tarnwick
