#include "display/qt/extent_delegate.h"

namespace tarnwick {

void ExtentDelegate::SetExtent(int pixels) {
    if (pixels != m_extent) {
        m_extent = pixels;
        Q_EMIT sizeHintChanged(QModelIndex());
    }
}

QSize ExtentDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return {m_extent, QStyledItemDelegate::sizeHint(option, index).height()};
}

}  // namespace tarnwick
