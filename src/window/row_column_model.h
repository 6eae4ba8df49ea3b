#pragma once

// One column of the live display. Rows only ever arrive at the top and leave at the bottom
// (the oldest records, past the display's limit) or all at once, so they are kept bottom row
// first in a byte arena: adding a row at the top is an append, and a row costs its bytes plus
// one offset. The arena grows by fixed chunks and the offsets by a deque, so a million rows
// never need one large copy (which would stall the window while it is flooded); chunks the
// leaving rows empty are freed. Rows are bytes; they are shown as Latin-1, one character per byte,
// so nothing a device sends is replaced or dropped on screen.

#include <QAbstractListModel>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

class RowColumnModel final : public QAbstractListModel {
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    // One record's rows, top to bottom, to stand above every row staged or shown so far.
    // Views see them at the next Commit.
    void StageOnTop(const std::vector<std::string>& rows);
    // Everything staged since the last Commit, inserted at the top as one block.
    void Commit();
    // Every row, shown or staged.
    void Clear();
    // The rows of the oldest records, one record being one StageOnTop; shown rows are removed
    // from the views.
    void DropOldestRecords(std::size_t records);

    // Bytes the arena holds, used or not.
    [[nodiscard]] std::size_t ArenaBytes() const { return m_chunks.size() * kChunk; }

    // A shown row, row 0 at the top.
    [[nodiscard]] std::string_view Row(int row) const;

    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

private:
    static constexpr std::uint64_t kChunk = 1 << 20;  // larger than any row

    void Append(std::string_view row);
    void DropBottomRows(std::size_t rows);
    [[nodiscard]] char* ChunkAt(std::uint64_t offset) const;

    std::deque<std::unique_ptr<char[]>> m_chunks;
    std::uint64_t m_freedChunks = 0;        // chunks below the bottom row, given back
    std::uint64_t m_bottomBegin = 0;        // arena offset where the bottom row may begin
    std::uint64_t m_used = 0;               // arena offset where the next row goes
    std::deque<std::uint64_t> m_ends;       // end offset of each row, bottom row first
    std::deque<std::uint8_t> m_recordRows;  // rows of each record, oldest first
    std::size_t m_shown = 0;                // rows views know of; the rest are staged
};

}  // namespace tarnwick
