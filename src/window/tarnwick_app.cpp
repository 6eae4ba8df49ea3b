#include "window/tarnwick_app.h"

#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>

#include "app/stop_signals.h"
#include "tarnwick/version.h"
#include "window/dialog_font.h"
#include "window/display_check.h"
#include "window/pictures.h"
#include "window/tarnwick_dlg.h"

namespace tarnwick {

int CTarnwickApp::InitInstance(const Options& options) {
    if (!DisplayMayOpen(DisplayEnvironment::OfThisProcess())) {
        std::fputs(kNoDisplayMessage, stderr);
        return 1;
    }
    // Before QApplication: its own threads must not take the stop signals either.
    const int stopSignals = WatchStopSignals();
    QApplication app(m_argc, m_argv);
    QApplication::setApplicationName(QStringLiteral("tarnwick"));
    // Lets desktops match the window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tarnwick"));
    QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    QApplication::setWindowIcon(ApplicationIcon());
    QApplication::setFont(DialogFont());
    CTarnwickDlg dialog(options);
    // SIGTERM, SIGINT or SIGHUP close the window as its close box does: what is queued is
    // logged.
    QSocketNotifier stop(stopSignals, QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &dialog, &CTarnwickDlg::CloseForSignal);
    dialog.exec();
    close(stopSignals);
    return 0;
}

}  // namespace tarnwick
