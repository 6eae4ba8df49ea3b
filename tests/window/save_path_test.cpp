#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "log/daily_log.h"
#include "support/udp.h"
#include "window_harness.h"

namespace tarnwick::windowtest {
namespace {

using test::UdpPeer;

QByteArray Contents(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class SavePathTest : public QObject {
    Q_OBJECT

private:
    WindowScript m_script;
    QTemporaryDir m_root;
    std::unique_ptr<CTarnwickDlg> m_dlg;

    std::string Folder(const char* name) const {
        return m_root.filePath(QString::fromLatin1(name)).toStdString();
    }
    CTarnwickDlg& Open() {
        m_script = {};
        Options options;
        options.logDir = Folder("old");
        m_dlg = OpenWindow(options, m_script);
        return *m_dlg;
    }
    QString SavePathField() const { return Find<QLineEdit>(*m_dlg, "IDC_SAVE_PATH")->text(); }

private Q_SLOTS:
    void cleanup() { m_dlg.reset(); }

    void aChoiceTakesEffectOnlyOnYes_data() {
        QTest::addColumn<bool>("chosen");  // false: the chooser is cancelled
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("logFile");  // %1: today's file name
        QTest::newRow("cancel: no question, nothing changes")
            << false << QString() << 0 << QString();
        QTest::newRow("No: nothing changes")
            << true << QStringLiteral("/var/tmp") << int(QMessageBox::No)
            << QStringLiteral("/var/tmp/%1");
        QTest::newRow("Yes: the new file")
            << true << QStringLiteral("/var/tmp") << int(QMessageBox::Yes)
            << QStringLiteral("/var/tmp/%1");
        QTest::newRow("Yes on the root: a doubled separator")
            << true << QStringLiteral("/") << int(QMessageBox::Yes) << QStringLiteral("//%1");
    }
    void aChoiceTakesEffectOnlyOnYes() {
        QFETCH(bool, chosen);
        QFETCH(QString, folder);
        QFETCH(int, answer);
        QFETCH(QString, logFile);
        const CTarnwickDlg& dlg = Open();
        const std::string before = dlg.LogFile();
        const QString fieldBefore = SavePathField();
        m_script.choose = [&]() -> std::optional<std::string> {
            return chosen ? std::optional(folder.toStdString()) : std::nullopt;
        };
        m_script.answer = [&](const OperatorMessage&) {
            return static_cast<QMessageBox::StandardButton>(answer);
        };
        Click(dlg, "IDC_SAVE_PATH_BUTTON");

        const std::string expected =
            logFile.arg(QString::fromStdString(LogFileName(SystemLocalTime()))).toStdString();
        if (!chosen) {
            QVERIFY(m_script.shown.empty());
        } else {
            QCOMPARE(m_script.shown.size(), 1u);
            QCOMPARE(m_script.shown[0].message,
                     (OperatorMessage{"File new path is :   " + expected + "    ", "Notice",
                                      MessageIcon::Question}));
            QCOMPARE(m_script.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        }
        if (chosen && answer == QMessageBox::Yes) {
            QCOMPARE(dlg.LogFile(), expected);
            QCOMPARE(SavePathField().toStdString(), expected);
        } else {
            QCOMPARE(dlg.LogFile(), before);
            QCOMPARE(SavePathField(), fieldBefore);
        }
    }

    void typingIntoTheFieldChangesNothing() {
        const CTarnwickDlg& dlg = Open();
        const std::string before = dlg.LogFile();
        const QString fieldBefore = SavePathField();
        QTest::keyClicks(Find<QLineEdit>(dlg, "IDC_SAVE_PATH"), QStringLiteral("/elsewhere"));
        QCOMPARE(SavePathField(), fieldBefore);
        QCOMPARE(dlg.LogFile(), before);
    }

    void recordsGoToTheOldFileUntilYes() {
        UdpPeer peer = UdpPeer::BindLoopback();
        CTarnwickDlg& dlg = Open();
        const std::uint16_t port = Listen(dlg);
        const std::string oldFile = dlg.LogFile();
        // Sends a record and waits, in the event loop, until the old file has it.
        bool allLoggedToOld = true;
        const auto logWhileOpen = [&](const std::string& record) {
            peer.SendTo(port, record);
            allLoggedToOld =
                allLoggedToOld &&
                QTest::qWaitFor(
                    [&] { return Contents(oldFile).contains(QByteArray::fromStdString(record)); },
                    kPatienceMs);
        };
        m_script.choose = [&] {
            logWhileOpen("#ST,123;N:chooser;#");
            return std::optional(Folder("new"));
        };
        m_script.answer = [&](const OperatorMessage&) {
            logWhileOpen("#ST,123;N:question;#");
            return QMessageBox::Yes;
        };
        Click(dlg, "IDC_SAVE_PATH_BUTTON");
        QVERIFY(allLoggedToOld);
        QVERIFY(dlg.LogFile() != oldFile);

        peer.SendTo(port, "#ST,123;N:after;#");
        QTRY_VERIFY_WITH_TIMEOUT(Contents(dlg.LogFile()).contains("N:after;#"), kPatienceMs);
        QVERIFY(!Contents(oldFile).contains("N:after"));
        QVERIFY(!Contents(dlg.LogFile()).contains("N:question"));
    }

    void theRealChooserLogsWhileItIsOpen() {
        UdpPeer peer = UdpPeer::BindLoopback();
        m_script = {};
        Options options;
        options.logDir = Folder("old");
        m_dlg = std::make_unique<CTarnwickDlg>(options, std::make_unique<ScriptedBoxes>(m_script));
        CTarnwickDlg& dlg = *m_dlg;
        dlg.show();
        const std::uint16_t port = Listen(dlg);
        QString title;
        bool logged = false;
        QTimer poll;
        QTimer::singleShot(0, &dlg, [&] {
            auto* chooser = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            title = chooser->windowTitle();
            peer.SendTo(port, "#ST,123;N:browsing;#");
            // Cancelled once the record is in the log, or when patience runs out.
            connect(&poll, &QTimer::timeout, chooser, [&, chooser] {
                logged = Contents(dlg.LogFile()).contains("N:browsing");
                if (logged) {
                    chooser->reject();
                }
            });
            QTimer::singleShot(kPatienceMs, chooser, &QDialog::reject);
            poll.start(10);
        });
        Click(dlg, "IDC_SAVE_PATH_BUTTON");
        QCOMPARE(title, QStringLiteral("Select TXT Save Folder"));
        QVERIFY(logged);
        QVERIFY(m_script.shown.empty());
    }
};

}  // namespace tarnwick::windowtest

QTEST_MAIN(tarnwick::windowtest::SavePathTest)
#include "save_path_test.moc"
