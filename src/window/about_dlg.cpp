#include "window/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "tarnwick/version.h"
#include "window/control_builder.h"
#include "window/dialog_font.h"
#include "window/pictures.h"

namespace tarnwick {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("IDD_ABOUTBOX"));
    setWindowTitle(QStringLiteral("About Tarnwick"));
    setFont(AboutFont());
    const DialogBase base = DialogBaseOf(font());
    CreateControls(*this, AboutDialogControls(), base);
    setFixedSize(ToPixels(kAboutDialogSize, base).size());

    auto* icon = findChild<QLabel*>(QStringLiteral("label_icon"));
    icon->setPixmap(ApplicationIcon().pixmap(icon->size()));
    findChild<QLabel*>(QStringLiteral("label_version"))
        ->setText(QStringLiteral(" Tarnwick Version ") + QString::fromLatin1(kVersion));
    connect(findChild<QPushButton*>(QStringLiteral("IDOK")), &QPushButton::clicked, this,
            &QDialog::accept);
}

}  // namespace tarnwick
