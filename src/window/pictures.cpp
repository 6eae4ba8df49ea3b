#include "window/pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace tarnwick {
namespace {

constexpr int kLightSize = 15;
const QColor kDialogGrey{238, 238, 238};

QPixmap IconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(28, 84, 140));
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    QPen wave(kLightListening, 2.2, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(wave);
    painter.setBrush(Qt::NoBrush);
    for (const double r : {5.0, 9.0, 13.0}) {
        painter.drawArc(QRectF(16 - r, 12 - r, 2 * r, 2 * r), 40 * 16, 100 * 16);
    }
    painter.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(16, 13), QPointF(10, 27));
    painter.drawLine(QPointF(16, 13), QPointF(22, 27));
    painter.drawLine(QPointF(12.5, 21.5), QPointF(19.5, 21.5));
    return pixmap;
}

}  // namespace

QPixmap StatusLight(const QColor& colour) {
    QPixmap pixmap(kLightSize, kLightSize);
    pixmap.fill(kDialogGrey);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient shade(QPointF(5.5, 5.0), 9.0);
    shade.setColorAt(0, colour.lighter(170));
    shade.setColorAt(0.5, colour);
    shade.setColorAt(1, colour.darker(160));
    painter.setPen(QPen(colour.darker(200), 0.8));
    painter.setBrush(shade);
    painter.drawEllipse(QRectF(1, 1, kLightSize - 2, kLightSize - 2));
    return pixmap;
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64}) {
        icon.addPixmap(IconPixmap(size));
    }
    return icon;
}

}  // namespace tarnwick
