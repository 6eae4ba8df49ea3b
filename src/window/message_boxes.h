#pragma once

// Every modal message of the window goes through here, so tests read what the operator
// would have seen instead of clicking it away.

#include <QMessageBox>

#include "command/operator_message.h"

namespace tarnwick {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual QMessageBox::StandardButton Show(const OperatorMessage& message,
                                             QMessageBox::StandardButtons buttons) = 0;
};

class QtMessageBoxes final : public MessageBoxes {
public:
    // owner: the window the boxes are modal to.
    explicit QtMessageBoxes(QWidget& owner) : m_owner(owner) {}

    QMessageBox::StandardButton Show(const OperatorMessage& message,
                                     QMessageBox::StandardButtons buttons) override;

private:
    QWidget& m_owner;
};

}  // namespace tarnwick
