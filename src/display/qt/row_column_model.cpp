#include "display/qt/row_column_model.h"

#include <algorithm>
#include <cstring>

namespace tarnwick {

void RowColumnModel::StageOnTop(const std::vector<std::string>& rows) {
    // Not std::views::reverse: clang 14 cannot compile libstdc++ 12's views.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        Append(*row);
    }
}

void RowColumnModel::Append(std::string_view row) {
    const std::uint64_t length = std::min<std::uint64_t>(row.size(), kChunk);
    if (length == 0) {
        m_ends.push_back(m_used);
        return;
    }
    // A row never straddles two chunks: what is left of the current one stays unused.
    if (m_used + length > m_chunks.size() * kChunk) {
        m_used = m_chunks.size() * kChunk;
        m_chunks.push_back(std::make_unique<char[]>(kChunk));
    }
    std::memcpy(m_chunks[m_used / kChunk].get() + m_used % kChunk, row.data(), length);
    m_used += length;
    m_ends.push_back(m_used);
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
    m_chunks.clear();
    m_used = 0;
    m_ends.clear();
    m_ends.shrink_to_fit();
    m_shown = 0;
    endResetModel();
}

std::string_view RowColumnModel::Row(int row) const {
    const std::size_t at = m_shown - 1 - static_cast<std::size_t>(row);
    const std::uint64_t end = m_ends[at];
    const std::uint64_t previousEnd = at == 0 ? 0 : m_ends[at - 1];
    if (end == previousEnd) {
        return {};
    }
    // A row that opened a new chunk starts at that chunk, not where the previous one ended.
    const std::uint64_t begin = std::max(previousEnd, (end - 1) / kChunk * kChunk);
    return {m_chunks[begin / kChunk].get() + begin % kChunk, end - begin};
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
