#include <QCheckBox>
#include <QLabel>
#include <QTemporaryDir>
#include <cerrno>

#include "support/udp.h"
#include "window/pictures.h"
#include "window/row_list_view.h"
#include "window_harness.h"

namespace tarnwick::windowtest {
namespace {

using test::Loopback;
using test::UdpPeer;
using namespace std::chrono_literals;

const QString kHexPrompt = QStringLiteral("Please into hex like :\r\n 38 38 31 02 02");

QByteArray Command(const QByteArray& body) {
    return QByteArray("#517") + body;
}

// count pairs of "A5", a blank between each two.
QString HexPairs(int count) {
    QStringList pairs;
    for (int i = 0; i < count; ++i) {
        pairs << QStringLiteral("A5");
    }
    return pairs.join(QLatin1Char(' '));
}

}  // namespace

class SendCommandTest : public QObject {
    Q_OBJECT

private:
    WindowScript m_script;
    QTemporaryDir m_logDir;
    std::unique_ptr<CTarnwickDlg> m_dlg;
    std::uint16_t m_port = 0;

    CTarnwickDlg& Open(std::optional<PeerAddress> bind = std::nullopt) {
        m_script = {};
        Options options;
        options.logDir = m_logDir.path().toStdString();
        options.bind = std::move(bind);
        m_dlg = OpenWindow(options, m_script);
        return *m_dlg;
    }
    QLineEdit* Field(const char* name) const { return Find<QLineEdit>(*m_dlg, name); }
    void Type(const QString& text) const {
        Click(*m_dlg, "IDC_CLEAR_SEND_BUFFER");
        QTest::keyClicks(Field("IDC_SEND_BUFFER"), text);
    }
    void Send(bool hex, const QString& text) const {
        Find<QCheckBox>(*m_dlg, "IDC_SEND_HEX")->setChecked(hex);
        Type(text);
        Click(*m_dlg, "IDC_SEND");
    }
    // peer sends a datagram to the listener; true once the window names it as SEND's target.
    bool BecomeNewest(UdpPeer& peer) const {
        peer.SendTo(m_port, "hello");
        return QTest::qWaitFor(
            [&] {
                return Field("IDC_DEST_IP")->text() == QStringLiteral("127.0.0.1") &&
                       Field("IDC_DEST_PORT")->text() == QString::number(peer.Port());
            },
            kPatienceMs);
    }
    static QByteArray Received(UdpPeer& peer, std::chrono::milliseconds patience = 5000ms) {
        const auto datagram = peer.Receive(patience);
        return datagram ? QByteArray::fromStdString(datagram->bytes) : QByteArray();
    }

private Q_SLOTS:
    void cleanup() { m_dlg.reset(); }

    void noClientYetComesFirst_data() {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("buffer");
        QTest::newRow("text mode") << false << QStringLiteral("ABC");
        QTest::newRow("hex mode, text the hex check would refuse")
            << true << QStringLiteral("3838");
    }
    void noClientYetComesFirst() {
        QFETCH(bool, hex);
        QFETCH(QString, buffer);
        Open();
        Send(hex, buffer);
        QCOMPARE(m_script.shown.size(), 1u);
        QCOMPARE(m_script.shown[0].message,
                 (OperatorMessage{"Have no Client connect!", "?!", MessageIcon::Stop}));
        QCOMPARE(m_script.shown[0].buttons, QMessageBox::Ok);
    }

    void sendsTheBufferToTheNewestClient_data() {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("buffer");
        QTest::addColumn<QByteArray>("datagram");  // empty: nothing may arrive
        QTest::addColumn<QString>("refusal");      // the message instead, caption "Question"
        QTest::newRow("text: ABC is seven bytes")
            << false << QStringLiteral("ABC") << QByteArray("#517ABC") << QString();
        QTest::newRow("text: blanks at the ends are kept")
            << false << QStringLiteral("  A B  ") << QByteArray("#517  A B  ") << QString();
        QTest::newRow("hex: the window's own example")
            << true << QStringLiteral("38 38 31 02 02")
            << Command(QByteArray::fromHex("3838310202")) << QString();
        QTest::newRow("hex: pairs without a blank are refused")
            << true << QStringLiteral("3838") << QByteArray() << kHexPrompt;
        QTest::newRow("hex: one pair alone is refused")
            << true << QStringLiteral("38") << QByteArray() << kHexPrompt;

        QTest::newRow("hex: either case")
            << true << QStringLiteral("ab Cd") << Command(QByteArray::fromHex("abcd")) << QString();
        QTest::newRow("hex: 508 pairs fill the 512-byte datagram")
            << true << HexPairs(508) << Command(QByteArray(508, '\xA5')) << QString();
        QTest::newRow("hex: 509 pairs are refused")
            << true << HexPairs(509) << QByteArray()
            << QStringLiteral(
                   "The hex text converts to 509 bytes; a command carries at most 508. Nothing "
                   "was sent.");
    }
    void sendsTheBufferToTheNewestClient() {
        QFETCH(bool, hex);
        QFETCH(QString, buffer);
        QFETCH(QByteArray, datagram);
        QFETCH(QString, refusal);
        UdpPeer peer = UdpPeer::BindLoopback();
        m_port = Listen(Open());
        QVERIFY(BecomeNewest(peer));
        Send(hex, buffer);
        if (refusal.isEmpty()) {
            QVERIFY(m_script.shown.empty());
            QCOMPARE(Received(peer), datagram);
        } else {
            QCOMPARE(m_script.shown.size(), 1u);
            QCOMPARE(m_script.shown[0].message,
                     (OperatorMessage{refusal.toStdString(), "Question", MessageIcon::Stop}));
            QCOMPARE(Received(peer, 200ms), QByteArray());
        }
        QCOMPARE(Field("IDC_SEND_BUFFER")->text(), buffer);
    }

    void aHexTypoSendsNothingAndSaysWhereHexStops() {
        UdpPeer peer = UdpPeer::BindLoopback();
        m_port = Listen(Open());
        QVERIFY(BecomeNewest(peer));
        Send(true, QStringLiteral("38 zz 31"));
        const std::vector<OperatorMessage> expected = {
            {kHexPrompt.toStdString(), "Question", MessageIcon::Stop},
            {"The hex text stops being hex at character 4: \"zz 31\". Nothing was sent.",
             "Question", MessageIcon::Stop}};
        QCOMPARE(m_script.shown.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(m_script.shown[i].message, expected[i]);
        }
        QCOMPARE(Received(peer, 200ms), QByteArray());
    }

    void aSenderNotYetShownDoesNotRedirectSend() {
        UdpPeer shown = UdpPeer::BindLoopback();
        UdpPeer unseen = UdpPeer::BindLoopback();
        m_port = Listen(Open());
        QVERIFY(BecomeNewest(shown));
        Find<QCheckBox>(*m_dlg, "IDC_AUTO_REPLY")->setChecked(true);
        Field("IDC_SEND_BUFFER")->setText(QStringLiteral("go"));
        // The reply comes once the session has recorded the unseen sender; the event loop does not
        // run until the click, so the fields are not refreshed in between.
        unseen.SendTo(m_port, "#ST,123;A:1;#");
        QCOMPARE(Received(unseen), QByteArray("@517"));
        Find<QPushButton>(*m_dlg, "IDC_SEND")->click();
        QCOMPARE(Received(shown), QByteArray("#517go"));
        QCOMPARE(Received(unseen, 200ms), QByteArray());
        QVERIFY(m_script.shown.empty());
    }

    void theCommandFollowsTheNewestClient() {
        UdpPeer a = UdpPeer::BindLoopback();
        UdpPeer b = UdpPeer::BindLoopback();
        m_port = Listen(Open());
        QVERIFY(Field("IDC_DEST_IP")->text().isEmpty());
        QVERIFY(Field("IDC_DEST_PORT")->text().isEmpty());
        for (UdpPeer* newest : {&a, &b, &a}) {
            QVERIFY(BecomeNewest(*newest));
            Send(false, QStringLiteral("go"));
            QCOMPARE(Received(*newest), QByteArray("#517go"));
        }
        QCOMPARE(Received(b, 200ms), QByteArray());
        QVERIFY(m_script.shown.empty());
    }

    void aSendAfterCloseFailsAndTheNewListenerReceives() {
        UdpPeer peer = UdpPeer::BindLoopback();
        m_port = Listen(Open());
        QVERIFY(BecomeNewest(peer));
        Click(*m_dlg, "IDC_LISTEN");
        m_port = Listen(*m_dlg);
        Send(false, QStringLiteral("go"));
        const std::string code = "[" + std::to_string(EBADF) + "]";
        QCOMPARE(m_script.shown.size(), 1u);
        QCOMPARE(m_script.shown[0].message,
                 (OperatorMessage{"send command fail " + code, code, MessageIcon::None}));

        // The failure closed nothing: the window still says listening, and it is.
        QCOMPARE(Find<QPushButton>(*m_dlg, "IDC_LISTEN")->text(), QStringLiteral("Close"));
        QCOMPARE(Find<QLabel>(*m_dlg, "IDC_STATUS_LIGHT")->pixmap().toImage(),
                 StatusLight(kLightListening).toImage());
        peer.SendTo(m_port, "#ST,123;A:1;#");
        QTRY_COMPARE_WITH_TIMEOUT(Find<RowListView>(*m_dlg, "IDC_LIST_DATA")->model()->rowCount(),
                                  2, kPatienceMs);
        Click(*m_dlg, "IDC_SEND");
        QCOMPARE(Received(peer), QByteArray("#517go"));
        QCOMPARE(m_script.shown.size(), 1u);
    }

    void anIpv6ClientIsShownWholeAndSendReachesIt() {
        UdpPeer peer = UdpPeer::BindLoopback(Loopback::Ipv6);
        m_port = Listen(Open(PeerAddress::FromText("::1", 0)));
        // The port was picked by the system, so the notice line names it first.
        QVERIFY(Find<QLabel>(*m_dlg, "IDC_NOTICES")
                    ->toolTip()
                    .startsWith("listening on UDP port " + QString::number(m_port) +
                                "; listening on ::1 only; "));
        peer.SendTo(m_port, "hello");
        QVERIFY(QTest::qWaitFor(
            [&] {
                return Field("IDC_DEST_IP")->text() == QStringLiteral("::1") &&
                       Field("IDC_DEST_PORT")->text() == QString::number(peer.Port());
            },
            kPatienceMs));
        QCOMPARE(Field("IDC_DEST_IP")->cursorPosition(), 0);
        QCOMPARE(Field("IDC_DEST_IP")->toolTip(), QStringLiteral("::1"));
        Send(false, QStringLiteral("go"));
        QCOMPARE(Received(peer), QByteArray("#517go"));
        QVERIFY(m_script.shown.empty());
    }

    void sendIsEnabledExactlyWhileTheBufferHoldsText() {
        Open();
        auto* send = Find<QPushButton>(*m_dlg, "IDC_SEND");
        QLineEdit* buffer = Field("IDC_SEND_BUFFER");
        QVERIFY(!send->isEnabled());
        QTest::keyClicks(buffer, QStringLiteral("A"));
        QVERIFY(send->isEnabled());
        QTest::keyClick(buffer, Qt::Key_Backspace);
        QVERIFY(!send->isEnabled());
        QTest::keyClicks(buffer, QStringLiteral("AB"));
        Click(*m_dlg, "IDC_CLEAR_SEND_BUFFER");
        QVERIFY(buffer->text().isEmpty());
        QVERIFY(!send->isEnabled());
    }
};

}  // namespace tarnwick::windowtest

QTEST_MAIN(tarnwick::windowtest::SendCommandTest)
#include "send_command_test.moc"
