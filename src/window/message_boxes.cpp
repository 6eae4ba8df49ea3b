#include "window/message_boxes.h"

namespace tarnwick {
namespace {

QMessageBox::Icon IconOf(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Stop:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QMessageBox::StandardButton QtMessageBoxes::Show(const OperatorMessage& message,
                                                 QMessageBox::StandardButtons buttons) {
    QMessageBox box(IconOf(message.icon), QString::fromLocal8Bit(message.caption),
                    QString::fromLocal8Bit(message.text), buttons, &m_owner);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace tarnwick
