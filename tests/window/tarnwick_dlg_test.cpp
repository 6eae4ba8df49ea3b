#include "window/tarnwick_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "log/log_folder.h"
#include "net/local_address.h"
#include "record/record_cut.h"
#include "record/record_rules.h"
#include "support/descriptor_limit.h"
#include "support/http_client.h"
#include "support/record_rows_of.h"
#include "support/udp.h"
#include "window/pictures.h"
#include "window/row_list_view.h"
#include "window/row_widths.h"
#include "window/status_line.h"

namespace tarnwick::windowtest {
namespace {

using test::HexRecordRows;
using test::TextRecordRows;

using test::UdpPeer;

constexpr int kPatienceMs = 5000;
constexpr std::chrono::milliseconds kPatience{kPatienceMs};

class RecordingBoxes final : public MessageBoxes {
public:
    explicit RecordingBoxes(std::vector<OperatorMessage>& shown) : m_shown(shown) {}
    QMessageBox::StandardButton Show(const OperatorMessage& message,
                                     QMessageBox::StandardButtons) override {
        m_shown.push_back(message);
        return QMessageBox::Ok;
    }

private:
    std::vector<OperatorMessage>& m_shown;
};

std::vector<std::string> Rows(const RowListView* list) {
    std::vector<std::string> rows;
    for (int i = 0; i < list->model()->rowCount(); ++i) {
        rows.push_back(list->model()->index(i, 0).data().toString().toLatin1().toStdString());
    }
    return rows;
}

std::string Bytes(const QByteArray& bytes) {
    return bytes.toStdString();
}

// "127.0.0.1 (PORT)": how the centre names peer in a text record.
std::string Sender(const UdpPeer& peer) {
    return "127.0.0.1 (" + std::to_string(peer.Port()) + ")";
}

// A record whose data part is exactly length characters and declares "L:" over 320.
std::string LongRecord(std::size_t length) {
    std::string record = "#ST,123;L:400;D:";
    record.append(length - record.size() - 2, 'x');
    return record + ";#";
}

}  // namespace

class TarnwickDlgTest : public QObject {
    Q_OBJECT

private:
    std::vector<OperatorMessage> m_shown;
    std::unique_ptr<CTarnwickDlg> m_dlg;
    std::unique_ptr<QTemporaryDir> m_logDir;

    CTarnwickDlg& Open(Options options = {}) {
        m_shown.clear();
        m_dlg = std::make_unique<CTarnwickDlg>(options, std::make_unique<RecordingBoxes>(m_shown));
        return *m_dlg;
    }
    Options LoggingTo(const QString& folder) const {
        Options options;
        options.logDir = folder.toStdString();
        return options;
    }
    template <typename Widget>
    Widget* Find(const char* name) const {
        auto* widget = m_dlg->findChild<Widget*>(QString::fromLatin1(name));
        if (widget == nullptr) {
            qFatal("no control %s", name);
        }
        return widget;
    }
    RowListView* List(const char* name) const { return Find<RowListView>(name); }
    void TypePortAndListen(const QString& port) {
        QTest::keyClicks(Find<QLineEdit>("IDC_LOCAL_PORT"), port);
        QTest::mouseClick(Find<QPushButton>("IDC_LISTEN"), Qt::LeftButton);
    }
    // The whole status line, as its tooltip holds it.
    QString StatusLine() const { return Find<QLabel>("status_line")->toolTip(); }
    void WaitForDataRows(int rows) {
        QTRY_COMPARE_WITH_TIMEOUT(List("IDC_LIST_DATA")->model()->rowCount(), rows, kPatienceMs);
    }
    // The text record the window gets for record from peer.
    static std::string HandOffText(const UdpPeer& peer, std::string_view record) {
        return std::string(CutAfterReplyMarker(Sender(peer) + ":" + TrimFieldValues(record)));
    }

private Q_SLOTS:
    void init() { m_logDir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { m_dlg.reset(); }

    void opensAsTheOperatorExpects() {
        CTarnwickDlg& dlg = Open();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("VX305_Centre(UDP)"));
        QVERIFY(Find<QLineEdit>("IDC_LOCAL_PORT")->text().isEmpty());
        for (const char* box : {"IDC_AUTO_REPLY", "IDC_SEND_HEX", "IDC_DISPLAY_HEX"}) {
            QVERIFY(!Find<QCheckBox>(box)->isChecked());
        }
        QVERIFY(!Find<QCheckBox>("IDC_DISPLAY_HEX")->isHidden());
        QVERIFY(!Find<QPushButton>("IDC_SEND")->isEnabled());
        QVERIFY(Find<QLineEdit>("IDC_SEND_BUFFER")->isEnabled());
        QCOMPARE(Find<QPushButton>("IDC_LISTEN")->text(), QStringLiteral("Listen"));
        QCOMPARE(Find<QLabel>("IDC_STATUS_LIGHT")->pixmap().toImage(),
                 StatusLight(kLightStopped).toImage());
        const std::string folder = DefaultLogFolder(ProgramPath());
        QCOMPARE(Find<QLineEdit>("IDC_SAVE_PATH")->text().toStdString(), folder);
        QCOMPARE(dlg.LogFile(), LogFilePathIn(folder, SystemLocalTime()));
        QCOMPARE(Find<QLineEdit>("IDC_LOCAL_IP")->text().toStdString(), DiscoverLocalAddress());
        QTRY_VERIFY(QRegularExpression(QStringLiteral(R"(^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d$)"))
                        .match(Find<QLabel>("IDC_STATUS_TEXT")->text())
                        .hasMatch());
    }

    void tabOrderIsTemplateOrder() {
        Open();
        const QWidget* controls = Find<QWidget>("client_area");
        QStringList order;
        for (QWidget* w = m_dlg->nextInFocusChain(); w != m_dlg.get(); w = w->nextInFocusChain()) {
            if (w->parentWidget() == controls && (w->focusPolicy() & Qt::TabFocus) != 0) {
                order << w->objectName();
            }
        }
        const QStringList expected = {
            "IDC_LOCAL_IP", "IDC_LOCAL_PORT", "IDC_LISTEN", "IDC_BUFFER_CLEAR", "IDC_SAVE_PATH",
            "IDC_SAVE_PATH_BUTTON", "IDC_LIST_DATA", "IDC_LIST_TIME", "IDC_DEST_IP",
            "IDC_DEST_PORT", "IDC_AUTO_REPLY", "IDC_SEND_HEX", "IDC_SEND_BUFFER",
            "IDC_CLEAR_SEND_BUFFER", "IDC_SEND", "IDC_LIST_SOURCE", "IDC_DISPLAY_HEX",
            // Not in the designed window: after every designed control.
            "IDC_DEVICES", "IDC_SEND_AT_NEXT_REPORT"};
        QCOMPARE(order, expected);
    }

    void listensAndClosesOnAPortTheSystemChose() {
        CTarnwickDlg& dlg = Open();
        TypePortAndListen(QStringLiteral("0"));
        QCOMPARE(Find<QPushButton>("IDC_LISTEN")->text(), QStringLiteral("Close"));
        QVERIFY(dlg.ListeningPort() != 0);
        // The field and the status line name the port devices must send to.
        const QString port = QString::number(dlg.ListeningPort());
        QCOMPARE(Find<QLineEdit>("IDC_LOCAL_PORT")->text(), port);
        QVERIFY(StatusLine().startsWith("listening on UDP port " + port + "; "));
        QCOMPARE(Find<QLabel>("IDC_STATUS_LIGHT")->pixmap().toImage(),
                 StatusLight(kLightListening).toImage());
        QTest::mouseClick(Find<QPushButton>("IDC_LISTEN"), Qt::LeftButton);
        QCOMPARE(Find<QPushButton>("IDC_LISTEN")->text(), QStringLiteral("Listen"));
        QCOMPARE(dlg.ListeningPort(), 0);
        QVERIFY(m_shown.empty());
        QVERIFY(StatusLine().startsWith("received"));

        // Listening again on the port now in the field: it is the one typed, nothing to say.
        QTest::mouseClick(Find<QPushButton>("IDC_LISTEN"), Qt::LeftButton);
        QCOMPARE(QString::number(dlg.ListeningPort()), port);
        QVERIFY(StatusLine().startsWith("received"));
    }

    void aTakenPortSaysSoAndAnEmptyOneThatAPortIsNeeded() {
        const UdpPeer holder = UdpPeer::BindLoopback();
        Open();
        TypePortAndListen(QString::number(holder.Port()));
        QCOMPARE(m_shown.size(), 1u);
        const std::string inUse = "socket bind error! (port " + std::to_string(holder.Port()) +
                                  ": " + std::strerror(EADDRINUSE) + ")";
        QCOMPARE(m_shown[0], (OperatorMessage{inUse, "tarnwick", MessageIcon::None}));
        QCOMPARE(Find<QPushButton>("IDC_LISTEN")->text(), QStringLiteral("Listen"));

        Open();
        QTest::mouseClick(Find<QPushButton>("IDC_LISTEN"), Qt::LeftButton);
        QVERIFY(m_shown.empty());
        QCOMPARE(Find<QPushButton>("IDC_LISTEN")->text(), QStringLiteral("Listen"));
        QCOMPARE(m_dlg->ListeningPort(), 0);
        QVERIFY(StatusLine().startsWith(
            QStringLiteral("no port to listen on: type one in \"Port:\"; ")));
    }

    void anAddressNotOfThisMachineIsABindError() {
        Options options;
        // 192.0.2.1 is set aside for documentation: no machine holds it.
        options.bind = PeerAddress::FromText("192.0.2.1", 0);
        CTarnwickDlg& dlg = Open(options);
        TypePortAndListen(QStringLiteral("0"));
        QCOMPARE(m_shown.size(), 1u);
        const std::string notHere =
            "socket bind error! (port 0: " + std::string(std::strerror(EADDRNOTAVAIL)) + ")";
        QCOMPARE(m_shown[0], (OperatorMessage{notHere, "tarnwick", MessageIcon::None}));
        QCOMPARE(dlg.ListeningPort(), 0);
    }

    void aReceiveThreadThatCannotStartIsReportedAndTheListenerStaysClosed() {
        CTarnwickDlg& dlg = Open();
        QTest::keyClicks(Find<QLineEdit>("IDC_LOCAL_PORT"), QStringLiteral("0"));
        {
            const test::DescriptorsNearlyExhausted limit(1);
            QTest::mouseClick(Find<QPushButton>("IDC_LISTEN"), Qt::LeftButton);
        }
        QCOMPARE(m_shown.size(), 1u);
        QVERIFY(m_shown[0].text.starts_with("socket create error! ("));
        QCOMPARE(m_shown[0].caption, std::string("tarnwick"));
        QCOMPARE(Find<QPushButton>("IDC_LISTEN")->text(), QStringLiteral("Listen"));
        QCOMPARE(dlg.ListeningPort(), 0);
    }

    void recordsAppearWithTheirRows_data() {
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("first record after start") << QByteArray("#ST,123;STA:1,2;#");
        QTest::newRow("cut after @517") << QByteArray("#ST,123;A:@517ABCDEFGHIJ;#");
        QTest::newRow("L: over 320, 326 characters") << QByteArray::fromStdString(LongRecord(326));
        QTest::newRow("L: over 320, 1,000 characters")
            << QByteArray::fromStdString(LongRecord(1000));
    }
    void recordsAppearWithTheirRows() {
        QFETCH(QByteArray, record);
        UdpPeer peer = UdpPeer::BindLoopback();
        CTarnwickDlg& dlg = Open(LoggingTo(m_logDir->path()));
        TypePortAndListen(QStringLiteral("0"));
        peer.SendTo(dlg.ListeningPort(), Bytes(record));
        QTRY_VERIFY_WITH_TIMEOUT(List("IDC_LIST_DATA")->model()->rowCount() > 0, kPatienceMs);

        const std::string time = Rows(List("IDC_LIST_TIME")).at(1);
        const DisplayRows expected = TextRecordRows(HandOffText(peer, Bytes(record)), time, true);
        QCOMPARE(Rows(List("IDC_LIST_TIME")), expected.time);
        QCOMPARE(Rows(List("IDC_LIST_SOURCE")), expected.source);
        QCOMPARE(Rows(List("IDC_LIST_DATA")), expected.data);
    }

    void buffersClearAndTheNextRecordIsFirstAgain() {
        UdpPeer peer = UdpPeer::BindLoopback();
        CTarnwickDlg& dlg = Open(LoggingTo(m_logDir->path()));
        TypePortAndListen(QStringLiteral("0"));
        const std::string record = "#ST,123;STA:1;#";
        peer.SendTo(dlg.ListeningPort(), record);
        peer.SendTo(dlg.ListeningPort(), record);
        WaitForDataRows(4);
        // The first record leaves its "   " row below it in the time and source columns only.
        QCOMPARE(List("IDC_LIST_TIME")->model()->rowCount(), 5);
        QCOMPARE(List("IDC_LIST_SOURCE")->model()->rowCount(), 5);
        const int widest =
            RowWidths(List("IDC_LIST_DATA")->fontMetrics())(Rows(List("IDC_LIST_DATA")).at(1));
        QCOMPARE(dlg.DataExtent(), widest + 90);

        QTest::mouseClick(Find<QPushButton>("IDC_BUFFER_CLEAR"), Qt::LeftButton);
        QCOMPARE(List("IDC_LIST_TIME")->model()->rowCount(), 0);
        QCOMPARE(dlg.DataExtent(), 90);
        peer.SendTo(dlg.ListeningPort(), record);
        WaitForDataRows(2);
        QCOMPARE(List("IDC_LIST_SOURCE")->model()->rowCount(), 3);
    }

    void keepsTheNewestRecordsUpToMaxRowsAndSaysHowManyLeft() {
        UdpPeer peer = UdpPeer::BindLoopback();
        Options options = LoggingTo(m_logDir->path());
        options.maxRows = 2;
        CTarnwickDlg& dlg = Open(options);
        TypePortAndListen(QStringLiteral("0"));
        for (const char* record : {"#ST,123;N:1;#", "#ST,123;N:2;#", "#ST,123;N:3;#"}) {
            peer.SendTo(dlg.ListeningPort(), record);
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            StatusLine().contains("; 1 record left the view (limit 2); received 3"), kPatienceMs);
        const std::vector<std::string> data = Rows(List("IDC_LIST_DATA"));
        QCOMPARE(data, (std::vector<std::string>{"   ", "#ST,123;N:3;#", "   ", "#ST,123;N:2;#"}));

        QTest::mouseClick(Find<QPushButton>("IDC_BUFFER_CLEAR"), Qt::LeftButton);
        QCOMPARE(List("IDC_LIST_DATA")->model()->rowCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!StatusLine().contains("left the view"), kPatienceMs);
    }

    void theStatusLineShowsEveryCounterInFullBelowTheContent() {
        CTarnwickDlg& dlg = Open();
        dlg.show();
        CounterSnapshot huge;
        huge.received = huge.records = huge.replies = huge.logged = 1'000'000'000'000;
        huge.droppedEmpty = huge.kernelDrops = 999'999'999'999;
        auto* line = Find<QLabel>("status_line");
        line->setText(QString::fromStdString(FormatCounters(huge, CounterForm::Brief)));
        // Where the label draws its text, and how high that text wraps there.
        const QRect room = line->contentsRect().adjusted(line->indent(), 0, 0, 0);
        QVERIFY(line->fontMetrics()
                    .boundingRect(room, Qt::AlignLeft | Qt::TextWordWrap, line->text())
                    .height() <= room.height());
        // Outside the scrolled content, which keeps the template's places.
        const QWidget* viewport = Find<QWidget>("client_viewport");
        QVERIFY(line->geometry().top() >= viewport->geometry().bottom());
        QCOMPARE(line->width(), dlg.width());
    }

    void theDataColumnScrollsAcrossItsExtent() {
        UdpPeer peer = UdpPeer::BindLoopback();
        CTarnwickDlg& dlg = Open(LoggingTo(m_logDir->path()));
        dlg.show();
        TypePortAndListen(QStringLiteral("0"));
        peer.SendTo(dlg.ListeningPort(), "#ST,123;D:" + std::string(300, 'W') + ";#");
        WaitForDataRows(2);
        RowListView* data = List("IDC_LIST_DATA");
        QTRY_COMPARE(data->horizontalScrollBar()->maximum() + data->viewport()->width(),
                     dlg.DataExtent());
    }

    void aHexRecordFollowsItsRecord() {
        UdpPeer peer = UdpPeer::BindLoopback();
        CTarnwickDlg& dlg = Open(LoggingTo(m_logDir->path()));
        QTest::mouseClick(Find<QCheckBox>("IDC_DISPLAY_HEX"), Qt::LeftButton);
        TypePortAndListen(QStringLiteral("0"));
        const std::string bytes =
            "\x01\x02"
            "ABC";
        peer.SendTo(dlg.ListeningPort(), "#ST,123;STA:1;#");
        peer.SendTo(dlg.ListeningPort(), bytes);
        WaitForDataRows(4);
        const std::string time = Rows(List("IDC_LIST_TIME")).at(1);
        const std::string hex =
            HexDump(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        const DisplayRows expected =
            HexRecordRows(time, "127.0.0.1  (" + std::to_string(peer.Port()) + ")", hex);
        for (const auto& [list, rows] : {std::pair{"IDC_LIST_TIME", expected.time},
                                         {"IDC_LIST_SOURCE", expected.source},
                                         {"IDC_LIST_DATA", expected.data}}) {
            const std::vector<std::string> shown = Rows(List(list));
            QCOMPARE(std::vector<std::string>(shown.begin(), shown.begin() + 2), rows);
        }
    }

    void logsByteExactAndAnswers() {
        UdpPeer peer = UdpPeer::BindLoopback();
        Options options = LoggingTo(m_logDir->path());
        options.autoReply = true;
        CTarnwickDlg& dlg = Open(options);
        TypePortAndListen(QStringLiteral("0"));
        const std::string records[] = {"#ST,123;N:caf\xE9;#", "#ST,124;A:@517ABCDEFGHIJ;#"};
        for (const std::string& record : records) {
            peer.SendTo(dlg.ListeningPort(), record);
            const auto reply = peer.Receive(kPatience);
            QVERIFY(reply.has_value());
            QCOMPARE(reply->bytes, std::string("@517"));
        }
        WaitForDataRows(4);
        QCOMPARE(Rows(List("IDC_LIST_DATA")).at(3), "#ST,123;N:caf\xE9;#");

        QFile file(QString::fromStdString(dlg.LogFile()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QRegularExpression header(
            QStringLiteral(R"(^-->\d{4}-\d\d-\d\d \d\d:\d\d:\d\d-{40}$)"));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 5);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(header.match(QString::fromLatin1(lines[2 * i].chopped(1))).hasMatch());
            QCOMPARE(Bytes(lines[2 * i + 1]), HandOffText(peer, records[i]) + "\r");
        }
    }

    void aLogFolderThatCannotBeMadeIsSaidAndNothingListens() {
        QFile blocker(m_logDir->filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const QString folder = blocker.fileName() + QStringLiteral("/logs");
        CTarnwickDlg& dlg = Open(LoggingTo(folder));
        TypePortAndListen(QStringLiteral("0"));
        QCOMPARE(dlg.ListeningPort(), 0);
        QVERIFY(m_shown.empty());
        QVERIFY(
            StatusLine().startsWith(QStringLiteral("cannot log to %1: %2")
                                        .arg(folder, QString::fromUtf8(std::strerror(ENOTDIR)))));
    }

    void aLogFolderLostWhileListeningIsShownAndTheRecordToo() {
        const QString folder = m_logDir->filePath(QStringLiteral("logs"));
        UdpPeer peer = UdpPeer::BindLoopback();
        CTarnwickDlg& dlg = Open(LoggingTo(folder));
        TypePortAndListen(QStringLiteral("0"));
        // A file in the folder's place: every append below it fails.
        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        peer.SendTo(dlg.ListeningPort(), "#ST,123;STA:1;#");
        WaitForDataRows(2);
        QTRY_VERIFY(
            Find<QLabel>("status_line")->toolTip().startsWith(QStringLiteral("Log not written: ")));
        QVERIFY(m_shown.empty());
    }

    void enterAndEscDoNotCloseTheCloseBoxDoes() {
        CTarnwickDlg& dlg = Open();
        dlg.show();
        QTest::keyClick(Find<QLineEdit>("IDC_LOCAL_PORT"), Qt::Key_Return);
        QTest::keyClick(&dlg, Qt::Key_Enter);
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.close());
        QVERIFY(!dlg.isVisible());
    }

    void closingWhileListeningLogsWhatIsQueued() {
        UdpPeer peer = UdpPeer::BindLoopback();
        Options options = LoggingTo(m_logDir->path());
        options.autoReply = true;
        options.port = 0;
        options.listen = true;
        CTarnwickDlg& dlg = Open(options);
        dlg.show();
        QTRY_VERIFY(dlg.ListeningPort() != 0);
        constexpr int kRecords = 50;
        for (int i = 0; i < kRecords; ++i) {
            peer.SendTo(dlg.ListeningPort(), "#ST,123;N:" + std::to_string(i) + ";#");
        }
        // A reply goes out after its record was handed over: all of them are queued now.
        for (int i = 0; i < kRecords; ++i) {
            QVERIFY(peer.Receive(kPatience).has_value());
        }
        QVERIFY(dlg.close());
        QCOMPARE(dlg.ListeningPort(), 0);
        QFile file(QString::fromStdString(dlg.LogFile()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count("\r\n"), 2 * kRecords);
    }

    void servesMetricsOrSaysWhyItCannot() {
        Options options = LoggingTo(m_logDir->path());
        options.metrics = HttpEndpoint{"127.0.0.1", 0};
        CTarnwickDlg& dlg = Open(options);
        QVERIFY(dlg.MetricsPort() != 0);
        TypePortAndListen(QStringLiteral("0"));
        UdpPeer peer = UdpPeer::BindLoopback();
        peer.SendTo(dlg.ListeningPort(), "#ST,123;STA:1,2;#");
        const auto counted = [&dlg] {
            const auto page = test::HttpGet(dlg.MetricsPort(), "/metrics", kPatience);
            return page && page->body.find("\ntarnwick_records_total 1\n") != std::string::npos;
        };
        QTRY_VERIFY_WITH_TIMEOUT(counted(), kPatienceMs);

        options.metrics->port = dlg.MetricsPort();
        std::vector<OperatorMessage> shown;
        const CTarnwickDlg second(options, std::make_unique<RecordingBoxes>(shown));
        QCOMPARE(second.MetricsPort(), std::uint16_t{0});
        QCOMPARE(shown.size(), std::size_t{1});
        QCOMPARE(shown[0].text, "Metrics cannot be served on 127.0.0.1 port " +
                                    std::to_string(dlg.MetricsPort()) + ": Address already in use");
    }

    void servesTheOperatorPageWhoseCommandsTheWindowRuns() {
        Options options = LoggingTo(m_logDir->path());
        options.web = HttpEndpoint{"127.0.0.1", 0};
        options.webTokenFile = m_logDir->filePath(QStringLiteral("token")).toStdString();
        QFile token(QString::fromStdString(*options.webTokenFile));
        QVERIFY(token.open(QIODevice::WriteOnly));
        token.write("window-token\n");
        token.close();
        CTarnwickDlg& dlg = Open(options);
        QVERIFY(dlg.WebPort() != 0);
        TypePortAndListen(QStringLiteral("0"));
        UdpPeer peer = UdpPeer::BindLoopback();
        peer.SendTo(dlg.ListeningPort(), "#ST,123;STA:1,2;#");
        const std::string key = "127.0.0.1:" + std::to_string(peer.Port());
        const std::string headers =
            " HTTP/1.0\r\nHost: localhost\r\nAuthorization: Bearer window-token\r\n";
        // The web threads answer a read alone; a command waits for this thread to run it.
        const auto known = [&] {
            const auto device = test::HttpExchange(
                dlg.WebPort(), "GET /api/devices/" + key + headers + "\r\n", kPatience);
            return device && device->status == 200;
        };
        QTRY_VERIFY_WITH_TIMEOUT(known(), kPatienceMs);
        const std::string body = R"({"text":"PING","hold":false})";
        const std::string request = "POST /api/devices/" + key + "/commands" + headers +
                                    "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                                    body;
        const int fd = test::ConnectLoopback(dlg.WebPort());
        QCOMPARE(send(fd, request.data(), request.size(), MSG_NOSIGNAL),
                 static_cast<ssize_t>(request.size()));
        std::string answer;
        QTRY_VERIFY_WITH_TIMEOUT((answer += test::ReadUntil(fd, "", std::chrono::milliseconds(5)),
                                  answer.ends_with(R"({"state":"sent"})")),
                                 kPatienceMs);
        close(fd);
        std::optional<test::Datagram> heard;
        do {
            heard = peer.Receive(kPatience);
        } while (heard && heard->bytes == "@517");
        QVERIFY(heard.has_value());
        QCOMPARE(heard->bytes, std::string("#517PING"));
    }

    void f1OpensTheAboutBox() {
        CTarnwickDlg& dlg = Open();
        dlg.show();
        QString title;
        QString version;
        QTimer::singleShot(0, &dlg, [&] {
            QWidget* about = QApplication::activeModalWidget();
            title = about->windowTitle();
            version = about->findChild<QLabel*>(QStringLiteral("label_version"))->text();
            QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("IDOK")),
                              Qt::LeftButton);
        });
        QTest::keyClick(&dlg, Qt::Key_F1);
        QCOMPARE(title, QStringLiteral("About Tarnwick"));
        QCOMPARE(version, QStringLiteral(" Tarnwick Version 1.0.4"));
    }
};

}  // namespace tarnwick::windowtest

QTEST_MAIN(tarnwick::windowtest::TarnwickDlgTest)
#include "tarnwick_dlg_test.moc"
