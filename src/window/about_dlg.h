#pragma once

#include <QDialog>

namespace tarnwick {

// "About Tarnwick": the icon, the version line and OK.
class CAboutDlg final : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent);
};

}  // namespace tarnwick
