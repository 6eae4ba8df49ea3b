#include "window/row_column_model.h"

#include <algorithm>
#include <cstring>

namespace tarnwick {

void RowColumnModel::StageOnTop(const std::vector<std::string>& rows) {
    // Not std::views::reverse: clang 14 cannot compile libstdc++ 12's views.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        Append(*row);
    }
    m_recordRows.push_back(static_cast<std::uint8_t>(rows.size()));
}

char* RowColumnModel::ChunkAt(std::uint64_t offset) const {
    return m_chunks[offset / kChunk - m_freedChunks].get() + offset % kChunk;
}

void RowColumnModel::Append(std::string_view row) {
    const std::uint64_t length = std::min<std::uint64_t>(row.size(), kChunk);
    if (length == 0) {
        m_ends.push_back(m_used);
        return;
    }
    // A row never straddles two chunks: what is left of the current one stays unused.
    const std::uint64_t capacity = (m_freedChunks + m_chunks.size()) * kChunk;
    if (m_used + length > capacity) {
        m_used = capacity;
        m_chunks.push_back(std::make_unique_for_overwrite<char[]>(kChunk));
    }
    std::memcpy(ChunkAt(m_used), row.data(), length);
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
    m_freedChunks = 0;
    m_bottomBegin = 0;
    m_used = 0;
    m_ends.clear();
    m_ends.shrink_to_fit();
    m_recordRows.clear();
    m_recordRows.shrink_to_fit();
    m_shown = 0;
    endResetModel();
}

void RowColumnModel::DropOldestRecords(std::size_t records) {
    records = std::min(records, m_recordRows.size());
    std::size_t rows = 0;
    for (std::size_t i = 0; i < records; ++i) {
        rows += m_recordRows[i];
    }
    m_recordRows.erase(m_recordRows.begin(),
                       m_recordRows.begin() + static_cast<std::ptrdiff_t>(records));
    DropBottomRows(rows);
}

void RowColumnModel::DropBottomRows(std::size_t rows) {
    if (rows == 0) {
        return;
    }
    // The bottom rows are the first offsets: shown ones first, then any staged after them.
    const std::size_t shownGone = std::min(rows, m_shown);
    if (shownGone > 0) {
        beginRemoveRows(QModelIndex(), static_cast<int>(m_shown - shownGone),
                        static_cast<int>(m_shown) - 1);
    }
    m_bottomBegin = m_ends[rows - 1];
    m_ends.erase(m_ends.begin(), m_ends.begin() + static_cast<std::ptrdiff_t>(rows));
    m_shown -= shownGone;
    while (!m_chunks.empty() && (m_freedChunks + 1) * kChunk <= m_bottomBegin) {
        m_chunks.pop_front();
        ++m_freedChunks;
    }
    if (shownGone > 0) {
        endRemoveRows();
    }
}

std::string_view RowColumnModel::Row(int row) const {
    const std::size_t at = m_shown - 1 - static_cast<std::size_t>(row);
    const std::uint64_t end = m_ends[at];
    const std::uint64_t previousEnd = at == 0 ? m_bottomBegin : m_ends[at - 1];
    if (end == previousEnd) {
        return {};
    }
    // A row that opened a new chunk starts at that chunk, not where the previous one ended.
    const std::uint64_t begin = std::max(previousEnd, (end - 1) / kChunk * kChunk);
    return {ChunkAt(begin), end - begin};
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
