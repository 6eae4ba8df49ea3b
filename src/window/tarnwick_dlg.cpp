#include "window/tarnwick_dlg.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "app/operator_lines.h"
#include "app/session_options.h"
#include "centre/device_event_text.h"
#include "command/command_composer.h"
#include "log/log_folder.h"
#include "net/local_address.h"
#include "net/port_text.h"
#include "window/about_dlg.h"
#include "window/control_builder.h"
#include "window/device_texts.h"
#include "window/devices_dialog.h"
#include "window/dialog_font.h"
#include "window/dialog_template.h"
#include "window/pictures.h"
#include "window/row_list_view.h"
#include "window/save_path_notice.h"
#include "window/status_line.h"
#include "window/status_line_widget.h"

namespace tarnwick {
namespace {

constexpr int kClockIntervalMs = 50;
// A flooded window still repaints: one drain takes at most this long before it yields.
constexpr qint64 kDrainSliceMs = 30;
constexpr std::size_t kRecordsBetweenClockReads = 64;
// Rows reach the lists at most this often, 25 times a second: they still scroll smoothly, and a
// flooded window repaints its lists that often rather than after every drain.
constexpr std::chrono::milliseconds kCommitEvery{40};
// The caption of every message box that names none: the program's name.
constexpr const char* kApplicationName = "tarnwick";

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Text of QString's characters one byte each, as the 8-bit fields of the templates hold it.
std::string Bytes(const QString& text) {
    return text.toLatin1().toStdString();
}

// A field the system writes and never reads: in the window's colour, as a read-only field
// looks, so it does not invite typing.
void MakeDisplayOnly(QLineEdit& field) {
    field.setReadOnly(true);
    QPalette palette = field.palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    field.setPalette(palette);
}

void SetTextIfChanged(QLineEdit& field, const QString& text) {
    // Rewriting the same text would drop the operator's selection.
    if (field.text() != text) {
        field.setText(text);
        // A text longer than the field (an IPv6 address) shows its beginning, and all of it
        // on hover.
        field.setCursorPosition(0);
        field.setToolTip(text);
    }
}

}  // namespace

CTarnwickDlg::CTarnwickDlg(const Options& options, std::unique_ptr<MessageBoxes> boxes,
                           std::unique_ptr<FolderChooser> chooser)
    : m_boxes(boxes ? std::move(boxes) : std::make_unique<QtMessageBoxes>(*this)),
      m_chooser(chooser ? std::move(chooser) : std::make_unique<QtFolderChooser>(*this)),
      m_clientArea(*this),
      m_display([this](std::string_view row) { return (*m_dataWidths)(row); }, options.maxRows),
      m_commits(kCommitEvery, [this] { CommitRows(); }),
      m_bmpListening(StatusLight(kLightListening)),
      m_bmpStopped(StatusLight(kLightStopped)),
      m_options(options),
      m_centre(options, Hooks()) {
    setObjectName(QStringLiteral("IDD_MAIN_DIALOG"));
    setWindowTitle(QStringLiteral("VX305_Centre(UDP)"));
    setWindowIcon(ApplicationIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    const DialogBase base = DialogBaseOf(font());
    m_labelCounters = MakeStatusLine(*this);
    m_rateChart = new RateChart(this);
    QWidget& content = m_clientArea.Content();
    CreateControls(content, MainDialogControls(), base);
    content.resize(ToPixels(kMainDialogSize, base).size());
    OnCreate(content.size());
    BindControls();
    ConfigureLists();
    m_devicesDialog = new DevicesDialog(m_centre.session().Devices(), this);
    OnInitDialog(options);
    ConnectHandlers();
}

CTarnwickDlg::~CTarnwickDlg() = default;

namespace {

void PrintOperatorLines(std::string_view message) {
    for (const std::string_view line : OperatorLines(message)) {
        std::fprintf(stderr, "tarnwick: %.*s\n", static_cast<int>(line.size()), line.data());
    }
}

}  // namespace

CentreHooks CTarnwickDlg::Hooks() {
    CentreHooks hooks;
    hooks.wake = [this] { PostDrain(); };
    hooks.report = PrintOperatorLines;
    // What became of each command, on standard error as the headless centre says it; the
    // Devices window shows the rest.
    hooks.events = [](const std::vector<DeviceEvent>& events) {
        for (const DeviceEvent& event : events) {
            if (IsCommandEvent(event.kind)) {
                PrintOperatorLines(DeviceEventText(event, 0));
            }
        }
    };
    return hooks;
}

template <typename Widget>
Widget* CTarnwickDlg::Control(const char* name) const {
    return m_clientArea.Content().findChild<Widget*>(QString::fromLatin1(name),
                                                     Qt::FindDirectChildrenOnly);
}

void CTarnwickDlg::BindControls() {
    m_staticStatus = Control<QLabel>("IDC_STATUS_LIGHT");
    m_listData = Control<RowListView>("IDC_LIST_DATA");
    m_listTime = Control<RowListView>("IDC_LIST_TIME");
    m_editSendBuffer = Control<QLineEdit>("IDC_SEND_BUFFER");
    m_checkSendHex = Control<QCheckBox>("IDC_SEND_HEX");
    m_checkAutoReply = Control<QCheckBox>("IDC_AUTO_REPLY");
    m_listSource = Control<RowListView>("IDC_LIST_SOURCE");
    m_checkDisplayHex = Control<QCheckBox>("IDC_DISPLAY_HEX");
    m_checkSendAtNextReport = Control<QCheckBox>("IDC_SEND_AT_NEXT_REPORT");
    m_editLocalPort = Control<QLineEdit>("IDC_LOCAL_PORT");
    m_editSavePath = Control<QLineEdit>("IDC_SAVE_PATH");
    m_editDestIp = Control<QLineEdit>("IDC_DEST_IP");
    m_editDestPort = Control<QLineEdit>("IDC_DEST_PORT");
    m_buttonListen = Control<QPushButton>("IDC_LISTEN");
    m_buttonSend = Control<QPushButton>("IDC_SEND");
    m_labelClock = Control<QLabel>("IDC_STATUS_TEXT");
    m_labelNotices = Control<QLabel>("IDC_NOTICES");
    // The notices share the header row's free space with nothing, in the status line's font.
    m_labelNotices->setFont(m_labelCounters->font());
}

void CTarnwickDlg::ConfigureLists() {
    m_listTime->setModel(&m_display.Time());
    m_listSource->setModel(&m_display.Source());
    m_listData->setModel(&m_display.Data());
    m_listTime->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (RowListView* list : {m_listTime, m_listSource}) {
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    m_dataWidths = std::make_unique<RowWidths>(m_listData->fontMetrics());
    m_listData->SetExtent(m_display.DataExtent());
}

void CTarnwickDlg::OnCreate(QSize contentSize) {
    const QRect available = screen()->availableGeometry();
    const int barExtent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    // The status line stands below the scrolled content, the full width of the window.
    const int statusHeight = StatusLineHeight(*m_labelCounters);
    const WindowFit fit =
        FitWindow(available.size() - QSize(0, statusHeight), contentSize, barExtent);
    setFixedSize(fit.window + QSize(0, statusHeight));
    m_clientArea.Fit(fit);
    const int chartWidth = RateChart::WidthFor(statusHeight);
    m_labelCounters->setGeometry(0, fit.window.height(), fit.window.width() - chartWidth,
                                 statusHeight);
    m_rateChart->setGeometry(fit.window.width() - chartWidth, fit.window.height(), chartWidth,
                             statusHeight);
    move(available.topLeft());
}

void CTarnwickDlg::OnInitDialog(const Options& options) {
    auto* localIp = Control<QLineEdit>("IDC_LOCAL_IP");
    for (QLineEdit* field : {localIp, m_editSavePath, m_editDestIp, m_editDestPort}) {
        MakeDisplayOnly(*field);
    }
    localIp->setText(Latin1(DiscoverLocalAddress()));
    m_staticStatus->setPixmap(m_bmpStopped);
    m_editSavePath->setText(QString::fromLocal8Bit(LogFolderOf(options)));
    // The forwarder reads the log from the folder it started with, and holds that folder:
    // records logged elsewhere would never reach the broker.
    if (options.mqtt) {
        auto* savePath = Control<QPushButton>("IDC_SAVE_PATH_BUTTON");
        savePath->setEnabled(false);
        savePath->setToolTip(QStringLiteral("The log folder is fixed by --log-dir under --mqtt"));
    }
    // The sending buffer is open from the start; SEND waits for it to hold text.
    m_buttonSend->setEnabled(false);

    if (options.port) {
        m_editLocalPort->setText(QString::number(*options.port));
    }
    m_checkAutoReply->setChecked(options.autoReply);
    m_checkDisplayHex->setChecked(options.hex);

    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, &CTarnwickDlg::OnTimer);
    clock->start(kClockIntervalMs);
    StartServers();
    if (options.listen) {
        // Pressed once the window is up, as the operator would.
        QMetaObject::invokeMethod(this, &CTarnwickDlg::OnBnClickedListen, Qt::QueuedConnection);
    }
}

void CTarnwickDlg::StartServers() {
    if (const auto failure = m_centre.StartServers()) {
        std::string server = failure->server;
        server.front() =
            static_cast<char>(std::toupper(static_cast<unsigned char>(server.front())));
        m_boxes->Show({server + " cannot be served on " + failure->address + " port " +
                           std::to_string(failure->port) + ": " + failure->Reason(),
                       windowTitle().toStdString(), MessageIcon::Exclamation},
                      QMessageBox::Ok);
    }
}

void CTarnwickDlg::ConnectHandlers() {
    connect(m_buttonListen, &QPushButton::clicked, this, &CTarnwickDlg::OnBnClickedListen);
    connect(Control<QPushButton>("IDC_BUFFER_CLEAR"), &QPushButton::clicked, this,
            &CTarnwickDlg::OnBnClickedBufferClear);
    connect(m_checkAutoReply, &QCheckBox::toggled, this,
            [this](bool ticked) { m_centre.session().SetAutoReply(ticked); });
    connect(m_checkDisplayHex, &QCheckBox::toggled, this,
            [this](bool ticked) { m_centre.session().SetDisplayHex(ticked); });
    connect(m_buttonSend, &QPushButton::clicked, this, &CTarnwickDlg::OnBnClickedSend);
    connect(Control<QPushButton>("IDC_CLEAR_SEND_BUFFER"), &QPushButton::clicked, this,
            &CTarnwickDlg::OnBnClickedClearSendBuffer);
    connect(m_editSendBuffer, &QLineEdit::textChanged, this, &CTarnwickDlg::OnEnChangeSendBuffer);
    connect(Control<QPushButton>("IDC_SAVE_PATH_BUTTON"), &QPushButton::clicked, this,
            &CTarnwickDlg::OnBnClickedSavePath);
    connect(&m_clientArea.Horizontal(), &QScrollBar::actionTriggered, this,
            &CTarnwickDlg::OnHScroll);
    connect(&m_clientArea.Vertical(), &QScrollBar::actionTriggered, this, &CTarnwickDlg::OnVScroll);
    connect(Control<QPushButton>("IDC_DEVICES"), &QPushButton::clicked, this,
            &CTarnwickDlg::OnDevices);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this), &QShortcut::activated, this,
            &CTarnwickDlg::OnDevices);
    connect(m_devicesDialog, &DevicesDialog::DeviceChosen, this,
            [this](const QString& key) { ChooseDevice(Bytes(key)); });
    connect(m_devicesDialog, &DevicesDialog::NewestSenderChosen, this,
            [this] { ChooseDevice(std::nullopt); });
}

std::uint16_t CTarnwickDlg::ListeningPort() const {
    return m_centre.session().Port();
}

void CTarnwickDlg::OnBnClickedListen() {
    m_listenNotice.clear();
    if (m_centre.session().IsListening()) {
        m_centre.Close();
        ShowListenState();
        ReportStillHeld(false);
        return;
    }
    const std::string typed = m_editLocalPort->text().toStdString();
    const std::optional<std::uint16_t> wanted = ParsePortText(typed);
    if (!wanted) {
        // An empty field would bind nothing the operator could tell the devices.
        m_listenNotice = kNoPortNotice;
        ShowListenState();
        return;
    }
    // A folder that cannot take the log would fail at the first record, unanswered.
    if (auto refusal = UnusableLogFolder(std::filesystem::path(LogFile()).parent_path().string())) {
        m_listenNotice = std::move(*refusal);
        ShowListenState();
        return;
    }
    const ListenResult result = m_centre.Listen(*wanted);
    if (result.ok()) {
        // Devices must be sent to the port bound, not to whatever the field held.
        const Session& session = m_centre.session();
        m_listenNotice = ListenNotice(typed, session.Place());
        m_editLocalPort->setText(QString::number(session.Port()));
    }
    ShowListenState();
    if (result.ok()) {
        return;
    }
    std::string message = ListenErrorMessage(result.error, *wanted, result.errorCode);
    if (!message.empty()) {
        m_boxes->Show({std::move(message), kApplicationName, MessageIcon::None}, QMessageBox::Ok);
    }
}

void CTarnwickDlg::ShowListenState() {
    const bool listening = m_centre.session().IsListening();
    m_buttonListen->setText(listening ? QStringLiteral("Close") : QStringLiteral("Listen"));
    m_staticStatus->setPixmap(listening ? m_bmpListening : m_bmpStopped);
    RefreshStatusLine();
}

void CTarnwickDlg::OnBnClickedBufferClear() {
    m_display.Clear();
    m_listData->SetExtent(m_display.DataExtent());
}

void CTarnwickDlg::OnBnClickedSend() {
    const CommandMode mode = m_checkSendHex->isChecked() ? CommandMode::Hex : CommandMode::Text;
    const std::string text = Bytes(m_editSendBuffer->text());
    if (m_checkSendAtNextReport->isChecked()) {
        HoldForNextReport(text, mode);
        return;
    }
    const CommandReport report = SendCommand(m_centre.session(), m_shownClient, text, mode);
    for (const OperatorMessage& message : report.Messages()) {
        m_boxes->Show(message, QMessageBox::Ok);
    }
}

void CTarnwickDlg::HoldForNextReport(std::string_view bufferText, CommandMode mode) {
    if (!m_chosenDevice) {
        m_boxes->Show(NoDeviceChosenNotice(), QMessageBox::Ok);
        return;
    }
    const CommandReport report = HoldCommand(m_centre.session(), *m_chosenDevice, bufferText, mode);
    if (report.outcome == CommandOutcome::NoDevice) {
        m_boxes->Show(DeviceForgottenNotice(*m_chosenDevice), QMessageBox::Ok);
        return;
    }
    for (const OperatorMessage& message : report.Messages()) {
        m_boxes->Show(message, QMessageBox::Ok);
    }
}

void CTarnwickDlg::OnBnClickedClearSendBuffer() {
    m_editSendBuffer->clear();
}

void CTarnwickDlg::OnEnChangeSendBuffer() {
    m_buttonSend->setEnabled(!m_editSendBuffer->text().isEmpty());
}

void CTarnwickDlg::OnBnClickedSavePath() {
    // Records go on being logged, to the current file, while the chooser and the question are
    // open: both run the event loop, and the drain is a posted event.
    const std::optional<std::string> folder = m_chooser->ChooseFolder();
    if (!folder) {
        return;
    }
    const std::string logFile = LogFilePathIn(*folder, SystemLocalTime());
    const auto answer = m_boxes->Show(SavePathNotice(logFile), QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) {
        return;
    }
    m_editSavePath->setText(QString::fromLocal8Bit(logFile));
    m_centre.session().SetLogFile(logFile);
}

void CTarnwickDlg::OnHScroll(int action) {
    StepScrollBar(m_clientArea.Horizontal(), action);
}

void CTarnwickDlg::OnVScroll(int action) {
    StepScrollBar(m_clientArea.Vertical(), action);
}

void CTarnwickDlg::OnTimer() {
    m_labelClock->setText(Latin1(ClockText(SystemLocalTime())));
    const int top = m_listData->TopRow();
    m_listTime->SetTopRow(top);
    m_listSource->SetTopRow(top);
    ShowDestination();
    RefreshStatusLine();
    m_rateChart->Show(m_centre.Rates().Points());
    // The Devices window shows what became of each held command; the centre passes the events
    // on to the broker.
    m_centre.Serve();
}

void CTarnwickDlg::ShowDestination() {
    // Where SEND goes: the chosen device's latest address, or the newest client, as of this
    // refresh. A client that arrives later is not shown yet, so SEND must not go to it either.
    // A chosen device that has been forgotten keeps the address it was last shown with.
    const Session& session = m_centre.session();
    if (!m_chosenDevice) {
        m_shownClient = session.Clients().Newest();
    } else if (auto device = session.Devices().Device(*m_chosenDevice, session.Now())) {
        m_shownClient = std::move(device->client);
    }
    if (!m_shownClient) {
        return;
    }
    SetTextIfChanged(*m_editDestIp, Latin1(m_shownClient->addr.Text()));
    SetTextIfChanged(*m_editDestPort, QString::number(m_shownClient->addr.Port()));
}

void CTarnwickDlg::RefreshStatusLine() {
    const std::string logStatus = m_centre.session().LogStatus();
    const std::string brokerState = m_centre.BrokerState();
    const std::string spaceNotice = m_centre.LogSpaceNotice();
    const StatusFacts facts{logStatus,
                            m_listenNotice,
                            m_display.RecordsLeftView(),
                            m_display.MaxRecords(),
                            m_centre.session().Counters(),
                            brokerState,
                            spaceNotice};
    const QString line = Latin1(StatusLineText(facts));
    if (line == m_labelCounters->toolTip()) {
        return;
    }
    // The counters always fit their strip; a long notice is cut, and both show it all on hover.
    m_labelCounters->setToolTip(line);
    m_labelCounters->setText(Latin1(FormatCounters(facts.counters, CounterForm::Brief)));
    m_labelNotices->setToolTip(line);
    m_labelNotices->setText(m_labelNotices->fontMetrics().elidedText(
        Latin1(NoticesText(facts)), Qt::ElideRight, m_labelNotices->width()));
}

void CTarnwickDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CTarnwickDlg::OnDevices() {
    m_devicesDialog->show();
    m_devicesDialog->raise();
    m_devicesDialog->activateWindow();
}

void CTarnwickDlg::ChooseDevice(std::optional<std::string> key) {
    m_chosenDevice = std::move(key);
    m_devicesDialog->ShowChosen(m_chosenDevice);
    ShowDestination();
}

void CTarnwickDlg::ReportStillHeld(bool closing) {
    const std::size_t waiting = m_centre.session().Devices().Waiting();
    if (waiting == 0) {
        return;
    }
    // A logout or a shutdown waits for nobody's click: the box's words go to standard error.
    if (m_closingForSignal) {
        PrintOperatorLines(StillHeldNotice(waiting, closing).text);
        return;
    }
    m_boxes->Show(StillHeldNotice(waiting, closing), QMessageBox::Ok);
}

void CTarnwickDlg::CloseForSignal() {
    m_closingForSignal = true;
    close();
}

void CTarnwickDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    connect(menu.addAction(QStringLiteral("Devices...\tCtrl+D")), &QAction::triggered, this,
            &CTarnwickDlg::OnDevices);
    connect(menu.addAction(QStringLiteral("About Tarnwick...")), &QAction::triggered, this,
            &CTarnwickDlg::OnAbout);
    menu.exec(event->globalPos());
}

void CTarnwickDlg::keyPressEvent(QKeyEvent* event) {
    // Enter after typing a port, or Esc, must not end reception: only the close box closes.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        case Qt::Key_F1:
            OnAbout();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CTarnwickDlg::done(int result) {
    m_centre.Stop([this] { DrainHandOffs(false); });
    ReportStillHeld(true);
    QDialog::done(result);
}

void CTarnwickDlg::PostDrain() {
    // One drain waits in the event queue at a time, however often the receive thread wakes
    // the window: drains queued behind each other would hold back every repaint.
    if (m_drainPosted.exchange(true)) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_drainPosted = false;
            DrainHandOffs(true);
        },
        Qt::QueuedConnection);
}

void CTarnwickDlg::DrainHandOffs(bool bounded) {
    QElapsedTimer slice;
    slice.start();
    for (;;) {
        if (m_nextInBatch == m_batch.size()) {
            m_batch.clear();
            m_nextInBatch = 0;
            m_centre.DrainInto(m_batch);
            if (m_batch.empty()) {
                break;
            }
        }
        const HandledRecord& handled = m_batch[m_nextInBatch++];
        if (handled.record) {
            m_display.Show(*handled.record, SystemLocalTime());
        }
        if (bounded && m_nextInBatch % kRecordsBetweenClockReads == 0 &&
            slice.elapsed() >= kDrainSliceMs) {
            PostDrain();
            break;
        }
    }
    if (bounded) {
        m_commits.Request();
        m_centre.Serve();
    } else {
        m_commits.CommitNow();
    }
}

void CTarnwickDlg::CommitRows() {
    m_display.Commit();
    m_listData->SetExtent(m_display.DataExtent());
}

}  // namespace tarnwick
