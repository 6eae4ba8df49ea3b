#include <QAbstractItemModel>
#include <QCheckBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>

#include "support/udp.h"
#include "window/device_texts.h"
#include "window_harness.h"

namespace tarnwick::windowtest {
namespace {

using test::Loopback;
using test::UdpPeer;
using namespace std::chrono_literals;

QString KeyOf(const UdpPeer& peer) {
    const bool ipv6 = peer.Family() == Loopback::Ipv6;
    return QStringLiteral("%1:%2").arg(ipv6 ? "[::1]" : "127.0.0.1").arg(peer.Port());
}

}  // namespace

class DevicesWindowTest : public QObject {
    Q_OBJECT

private:
    WindowScript m_script;
    std::optional<QTemporaryDir> m_logDir;  // each test's own: its journal starts empty
    std::unique_ptr<CTarnwickDlg> m_dlg;
    std::uint16_t m_port = 0;
    std::optional<UdpPeer> m_first;
    std::optional<UdpPeer> m_second;

    QTableView* Table() const { return Find<QTableView>(*m_dlg, "IDC_DEVICE_TABLE"); }
    QTableWidget* Held() const { return Find<QTableWidget>(*m_dlg, "IDC_HELD_COMMANDS"); }

    // peer reports; the answer "@517" comes back to it.
    static void Report(UdpPeer& peer, std::uint16_t port) {
        peer.SendTo(port, "#ST,123;BAT:87;#");
        QCOMPARE(Received(peer), QByteArray("@517"));
    }
    static QByteArray Received(UdpPeer& peer) {
        const auto datagram = peer.Receive(5000ms);
        return datagram ? QByteArray::fromStdString(datagram->bytes) : QByteArray();
    }
    // The Devices window's row for peer, once the table shows it; -1 when it never does.
    int RowOf(const UdpPeer& peer) const {
        int found = -1;
        const bool shown = QTest::qWaitFor(
            [&] {
                const QAbstractItemModel& model = *Table()->model();
                for (int row = 0; row < model.rowCount(); ++row) {
                    if (model.index(row, 0).data().toString() == KeyOf(peer)) {
                        found = row;
                    }
                }
                return found >= 0;
            },
            kPatienceMs);
        return shown ? found : -1;
    }
    // Two devices report on one port, from 127.0.0.1 and from ::1; the second, the IPv6 one,
    // becomes SEND's destination through the Devices window.
    void ChooseSecondOfTwo(Options options = {}) {
        options.logDir = m_logDir->path().toStdString();
        options.autoReply = true;
        m_dlg = OpenWindow(options, m_script);
        m_port = Listen(*m_dlg);
        m_first.emplace(UdpPeer::BindLoopback());
        m_second.emplace(UdpPeer::BindLoopback(Loopback::Ipv6));
        Report(*m_second, m_port);
        Report(*m_first, m_port);  // the newest client, which SEND must not reach

        Click(*m_dlg, "IDC_DEVICES");
        const int row = RowOf(*m_second);
        QVERIFY(row >= 0);
        Table()->selectRow(row);
        Click(*m_dlg, "IDC_USE_AS_DESTINATION");
        QCOMPARE(Find<QLineEdit>(*m_dlg, "IDC_DEST_IP")->text(), QStringLiteral("::1"));
        QCOMPARE(Find<QLineEdit>(*m_dlg, "IDC_DEST_PORT")->text(),
                 QString::number(m_second->Port()));
    }
    void Send(const QString& text) const {
        Click(*m_dlg, "IDC_CLEAR_SEND_BUFFER");
        QTest::keyClicks(Find<QLineEdit>(*m_dlg, "IDC_SEND_BUFFER"), text);
        Click(*m_dlg, "IDC_SEND");
    }

private Q_SLOTS:
    void init() {
        m_script = {};
        m_logDir.emplace();
    }
    void cleanup() {
        m_dlg.reset();
        m_first.reset();
        m_second.reset();
    }

    void ageText_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("just now") << qint64{0} << QStringLiteral("0 s");
        QTest::newRow("a clock set back reads as now") << qint64{-5} << QStringLiteral("0 s");
        QTest::newRow("under a minute") << qint64{59} << QStringLiteral("59 s");
        QTest::newRow("a minute") << qint64{60} << QStringLiteral("1 min");
        QTest::newRow("minutes round down") << qint64{3599} << QStringLiteral("59 min");
        QTest::newRow("an hour") << qint64{3600} << QStringLiteral("1 h");
        QTest::newRow("hours round down") << qint64{86'399} << QStringLiteral("23 h");
        QTest::newRow("days") << qint64{4 * 86'400 + 5} << QStringLiteral("4 d");
    }
    void ageText() {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(AgeText(static_cast<std::time_t>(seconds))), text);
    }

    void sendGoesToTheChosenDevice() {
        ChooseSecondOfTwo();
        Send(QStringLiteral("GO"));
        QCOMPARE(Received(*m_second), QByteArray("#517GO"));
        // Had the command gone to the first device too, it would come before this answer.
        Report(*m_first, m_port);
        QVERIFY(m_script.shown.empty());
    }

    void heldCommandLeavesRightAfterTheNextAnswer() {
        ChooseSecondOfTwo();
        Find<QCheckBox>(*m_dlg, "IDC_SEND_AT_NEXT_REPORT")->setChecked(true);
        Send(QStringLiteral("LATER"));
        QVERIFY(m_script.shown.empty());
        QTRY_COMPARE_WITH_TIMEOUT(Held()->rowCount(), 1, kPatienceMs);
        QVERIFY(Held()->item(0, 2)->text().startsWith(QStringLiteral("waiting since ")));

        // Had the command left before the report, it would come before this answer.
        Report(*m_second, m_port);
        QCOMPARE(Received(*m_second), QByteArray("#517LATER"));
        QTRY_VERIFY_WITH_TIMEOUT(Held()->item(0, 2)->text().startsWith(QStringLiteral("sent at ")),
                                 kPatienceMs);
        Report(*m_first, m_port);
    }

    void aHeldCommandExpiresAfterHoldFor() {
        Options options;
        options.holdFor = 1s;
        ChooseSecondOfTwo(options);
        Find<QCheckBox>(*m_dlg, "IDC_SEND_AT_NEXT_REPORT")->setChecked(true);
        Send(QStringLiteral("TOO LATE"));
        QTRY_COMPARE_WITH_TIMEOUT(Held()->rowCount(), 1, kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            Held()->item(0, 2)->text().startsWith(QStringLiteral("expired at ")), 5000);
        Report(*m_second, m_port);
        QVERIFY(!m_second->Receive(200ms));  // an expired command never leaves
    }

    void aCommandPastTheBoundIsRefusedWithAMessage() {
        Options options;
        options.maxHeld = 1;
        ChooseSecondOfTwo(options);
        Find<QCheckBox>(*m_dlg, "IDC_SEND_AT_NEXT_REPORT")->setChecked(true);
        Send(QStringLiteral("ONE"));
        Send(QStringLiteral("TWO"));
        QCOMPARE(m_script.shown.size(), 1u);
        QCOMPARE(
            QString::fromStdString(m_script.shown[0].message.text),
            QStringLiteral("device %1 has 1 commands held; not held: TWO").arg(KeyOf(*m_second)));
        Report(*m_second, m_port);
        QCOMPARE(Received(*m_second), QByteArray("#517ONE"));
        QVERIFY(!m_second->Receive(200ms));
    }

    void closingReportsTheCommandsStillHeld() {
        ChooseSecondOfTwo();
        Find<QCheckBox>(*m_dlg, "IDC_SEND_AT_NEXT_REPORT")->setChecked(true);
        Send(QStringLiteral("ONE"));
        Send(QStringLiteral("TWO"));
        Click(*m_dlg, "IDC_LISTEN");
        QCOMPARE(m_script.shown.size(), 1u);
        QCOMPARE(m_script.shown[0].message.text,
                 std::string("2 commands are still held for devices' next reports."));
    }

    void aDevicesCommandHistoryListsWhatBecameOfItsCommands() {
        ChooseSecondOfTwo();
        Send(QStringLiteral("GO"));
        QCOMPARE(Received(*m_second), QByteArray("#517GO"));
        QTableWidget* history = Find<QTableWidget>(*m_dlg, "IDC_COMMAND_HISTORY");
        QTRY_COMPARE_WITH_TIMEOUT(history->rowCount(), 1, kPatienceMs);
        QCOMPARE(history->item(0, 1)->text(), QStringLiteral("GO"));
        QCOMPARE(history->item(0, 2)->text(), QStringLiteral("sent"));
        QCOMPARE(history->item(0, 3)->text(), QStringLiteral("window"));
    }

    void aStopSignalClosesWithNoBoxToWaitFor() {
        ChooseSecondOfTwo();
        Find<QCheckBox>(*m_dlg, "IDC_SEND_AT_NEXT_REPORT")->setChecked(true);
        Send(QStringLiteral("ONE"));
        m_dlg->CloseForSignal();
        QVERIFY(m_script.shown.empty());
        QVERIFY(!m_dlg->isVisible());
    }
};

}  // namespace tarnwick::windowtest

QTEST_MAIN(tarnwick::windowtest::DevicesWindowTest)
#include "devices_window_test.moc"
