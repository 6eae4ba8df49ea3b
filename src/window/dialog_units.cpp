#include "window/dialog_units.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <cmath>

namespace tarnwick {
namespace {

int Horizontal(int units, const DialogBase& base) {
    return static_cast<int>(std::lround(units * base.averageCharWidth / 4));
}

int Vertical(int units, const DialogBase& base) {
    return static_cast<int>(std::lround(units * base.fontHeight / 8.0));
}

}  // namespace

DialogBase DialogBaseOf(const QFont& font) {
    static const QString kLetters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double width =
        QFontMetricsF(font).horizontalAdvance(kLetters) / static_cast<double>(kLetters.size());
    return {width, QFontMetrics(font).height()};
}

QRect ToPixels(const DialogRect& rect, const DialogBase& base) {
    const int left = Horizontal(rect.x, base);
    const int top = Vertical(rect.y, base);
    return QRect(QPoint(left, top), QPoint(Horizontal(rect.x + rect.width, base) - 1,
                                           Vertical(rect.y + rect.height, base) - 1));
}

}  // namespace tarnwick
