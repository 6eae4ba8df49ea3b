#pragma once

// A list column of the live display. Rows have one height and arrive a block at a time at
// the top, so the view needs nothing per row: it paints the visible rows straight from the
// model and scrolls by whole rows (the scroll value is the top row's index). A general item
// view lays out every row again on each insertion, which a million rows make too slow for a
// window that must keep repainting while it is flooded.

#include <QAbstractScrollArea>

#include "window/row_column_model.h"

namespace tarnwick {

class RowListView final : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit RowListView(QWidget* parent = nullptr);

    void setModel(RowColumnModel* model);
    [[nodiscard]] RowColumnModel* model() const { return m_model; }

    // How wide the content is, in pixels: the horizontal scroll range reaches its far edge.
    void SetExtent(int pixels);

    [[nodiscard]] int TopRow() const;
    void SetTopRow(int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void UpdateScrollRanges();
    [[nodiscard]] int RowHeight() const;
    [[nodiscard]] int VisibleRows() const;

    RowColumnModel* m_model = nullptr;
    int m_extent = 0;
};

}  // namespace tarnwick
