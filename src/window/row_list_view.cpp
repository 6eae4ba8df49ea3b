#include "window/row_list_view.h"

#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

namespace tarnwick {
namespace {

constexpr int kTextMargin = 2;

}  // namespace

RowListView::RowListView(QWidget* parent) : QAbstractScrollArea(parent) {
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
}

void RowListView::setModel(RowColumnModel* model) {
    m_model = model;
    const auto changed = [this] {
        UpdateScrollRanges();
        viewport()->update();
    };
    connect(model, &QAbstractItemModel::rowsInserted, this, changed);
    connect(model, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(model, &QAbstractItemModel::modelReset, this, changed);
    changed();
}

void RowListView::SetExtent(int pixels) {
    m_extent = pixels;
    UpdateScrollRanges();
}

int RowListView::TopRow() const {
    return verticalScrollBar()->value();
}

void RowListView::SetTopRow(int row) {
    verticalScrollBar()->setValue(row);
}

int RowListView::RowHeight() const {
    return std::max(1, fontMetrics().lineSpacing());
}

int RowListView::VisibleRows() const {
    return std::max(1, viewport()->height() / RowHeight());
}

void RowListView::UpdateScrollRanges() {
    const int rows = m_model ? m_model->rowCount() : 0;
    verticalScrollBar()->setPageStep(VisibleRows());
    verticalScrollBar()->setRange(0, std::max(0, rows - VisibleRows()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setRange(0, std::max(0, m_extent - viewport()->width()));
}

void RowListView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRanges();
}

void RowListView::wheelEvent(QWheelEvent* event) {
    // The wheel over a list scrolls its rows, and at their end nothing: the window under it
    // must not move instead.
    QAbstractScrollArea::wheelEvent(event);
    event->accept();
}

void RowListView::paintEvent(QPaintEvent* /*event*/) {
    if (!m_model) {
        return;
    }
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const int height = RowHeight();
    const int top = TopRow();
    const int last = std::min(m_model->rowCount(), top + VisibleRows() + 1);
    const int x = kTextMargin - horizontalScrollBar()->value();
    for (int row = top; row < last; ++row) {
        const std::string_view text = m_model->Row(row);
        const QRect line(x, (row - top) * height, viewport()->width() - x, height);
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    }
}

}  // namespace tarnwick
