#include "window/dialog_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace tarnwick {
namespace {

QFont SansAt(int points) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(points);
    return font;
}

}  // namespace

QFont DialogFont() {
    const QString carlito = QStringLiteral("Carlito");
    if (QFontDatabase::families().contains(carlito)) {
        return QFont(carlito, 10);
    }
    return SansAt(10);
}

QFont AboutFont() {
    return SansAt(8);
}

}  // namespace tarnwick
