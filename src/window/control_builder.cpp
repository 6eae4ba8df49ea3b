#include "window/control_builder.h"

#include "window/row_list_view.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <algorithm>

namespace tarnwick {
namespace {

QWidget* MakeButton(QWidget& parent, const QString& text, bool isDefault) {
    auto* button = new QPushButton(text, &parent);
    // Only a template's default button answers Enter; no other button becomes one by focus.
    button->setAutoDefault(isDefault);
    button->setDefault(isDefault);
    return button;
}

QWidget* MakeLabel(QWidget& parent, const QString& text) {
    auto* label = new QLabel(text, &parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QWidget* MakeAddressField(QWidget& parent) {
    auto* field = new QLineEdit(&parent);
    static const QRegularExpression kDotted(
        QStringLiteral(R"(((25[0-5]|2[0-4]\d|1?\d?\d)\.){0,3}(25[0-5]|2[0-4]\d|1?\d?\d)?)"));
    field->setValidator(new QRegularExpressionValidator(kDotted, field));
    return field;
}

QWidget* MakeCheckBox(QWidget& parent, const QString& text) {
    auto* box = new QCheckBox(text, &parent);
    // The templates leave a native check box's narrow gap between box and text; the texts
    // carry their own leading blank.
    box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 1px; }"));
    return box;
}

QWidget* MakeListBox(QWidget& parent) {
    return new RowListView(&parent);
}

QWidget* MakeControl(QWidget& parent, const ControlSpec& item) {
    const QString text = QString::fromLatin1(item.text);
    switch (item.kind) {
        case ControlKind::Label:
        case ControlKind::Picture:
            return MakeLabel(parent, text);
        case ControlKind::AddressField:
            return MakeAddressField(parent);
        case ControlKind::Edit:
            return new QLineEdit(text, &parent);
        case ControlKind::PushButton:
        case ControlKind::DefaultButton:
            return MakeButton(parent, text, item.kind == ControlKind::DefaultButton);
        case ControlKind::CheckBox:
            return MakeCheckBox(parent, text);
        case ControlKind::GroupBox:
            return new QGroupBox(text, &parent);
        case ControlKind::ListBox:
            return MakeListBox(parent);
    }
    return nullptr;
}

}  // namespace

void CreateControls(QWidget& parent, std::span<const ControlSpec> controls,
                    const DialogBase& base) {
    for (const ControlSpec& item : controls) {
        QWidget* control = MakeControl(parent, item);
        control->setObjectName(QString::fromLatin1(item.name));
        QRect place = ToPixels(item.rect, base);
        if (item.kind == ControlKind::CheckBox) {
            // This style's box is wider than the native one: let the text run on to the right
            // rather than cut it.
            place.setWidth(std::max(place.width(), control->sizeHint().width()));
        }
        control->setGeometry(place);
        if (item.kind == ControlKind::GroupBox) {
            // A frame is drawn behind what it frames and never takes their clicks.
            control->lower();
        }
    }
}

}  // namespace tarnwick
