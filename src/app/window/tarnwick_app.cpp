#include "app/window/tarnwick_app.h"

#include <QApplication>

#include "app/window/dialog_font.h"
#include "app/window/pictures.h"
#include "app/window/tarnwick_dlg.h"
#include "tarnwick/version.h"

namespace tarnwick {

int CTarnwickApp::InitInstance(const Options& options) {
    QApplication app(m_argc, m_argv);
    QApplication::setApplicationName(QStringLiteral("tarnwick"));
    QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    QApplication::setWindowIcon(ApplicationIcon());
    QApplication::setFont(DialogFont());
    CTarnwickDlg dialog(options);
    dialog.exec();
    return 0;
}

}  // namespace tarnwick
