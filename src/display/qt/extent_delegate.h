#pragma once

// Gives every row of the data column the column's horizontal extent as its width, so the
// view's horizontal scroll range is exactly that extent.

#include <QStyledItemDelegate>

namespace tarnwick {

class ExtentDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void SetExtent(int pixels);

    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const override;

private:
    int m_extent = 0;
};

}  // namespace tarnwick
