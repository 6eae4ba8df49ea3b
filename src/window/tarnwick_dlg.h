#pragma once

// The main window: an adapter over the receiving session and the live display. Records reach
// it, already logged and answered, through the session's ordered queue, in batches.

#include <QDialog>
#include <QPixmap>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/options.h"
#include "centre/centre.h"
#include "command/command_composer.h"
#include "window/client_area.h"
#include "window/commit_pacer.h"
#include "window/folder_chooser.h"
#include "window/live_display.h"
#include "window/message_boxes.h"
#include "window/rate_chart.h"
#include "window/row_widths.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarnwick {

class DevicesDialog;
class RowListView;

class CTarnwickDlg final : public QDialog {
    Q_OBJECT

public:
    // boxes: where message boxes go; QMessageBox when none is given. chooser: where the log
    // folder is chosen; QFileDialog when none is given.
    explicit CTarnwickDlg(const Options& options, std::unique_ptr<MessageBoxes> boxes = nullptr,
                          std::unique_ptr<FolderChooser> chooser = nullptr);
    CTarnwickDlg(const CTarnwickDlg&) = delete;
    CTarnwickDlg& operator=(const CTarnwickDlg&) = delete;
    ~CTarnwickDlg() override;

    // The port the listener is bound to; 0 while closed.
    [[nodiscard]] std::uint16_t ListeningPort() const;
    // Where --metrics serves the page; 0 when it does not.
    [[nodiscard]] std::uint16_t MetricsPort() const {
        return m_centre.Metrics() ? m_centre.Metrics()->Port() : 0;
    }
    // Where --web serves the operator page; 0 when it does not.
    [[nodiscard]] std::uint16_t WebPort() const {
        return m_centre.Web() ? m_centre.Web()->Port() : 0;
    }
    // m_strLogFile: the full path of the current day's log file.
    [[nodiscard]] std::string LogFile() const { return m_centre.session().LogFile(); }
    // The data column's horizontal extent in pixels.
    [[nodiscard]] int DataExtent() const { return m_display.DataExtent(); }

    // Closing closes the listener, after what it took in is logged, answered and shown.
    void done(int result) override;
    // SIGTERM, SIGINT or SIGHUP: closes as the close box does, with no box to wait for.
    void CloseForSignal();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    template <typename Widget>
    Widget* Control(const char* name) const;

    void BindControls();
    void OnInitDialog(const Options& options);
    void ConnectHandlers();
    void ConfigureLists();
    // Sizes the window to its content and the screen, at the screen's top left corner.
    void OnCreate(QSize contentSize);

    void OnBnClickedListen();
    void OnBnClickedBufferClear();
    void OnBnClickedSend();
    // SEND with "Send at next report" ticked: the command waits for the chosen device.
    void HoldForNextReport(std::string_view bufferText, CommandMode mode);
    void OnBnClickedClearSendBuffer();
    void OnEnChangeSendBuffer();
    void OnBnClickedSavePath();
    void OnHScroll(int action);
    void OnVScroll(int action);
    void OnTimer();
    void ShowDestination();
    void OnAbout();
    void OnDevices();
    void ChooseDevice(std::optional<std::string> key);
    // One message for the commands still waiting, if any; givenUp: the window is closing.
    void ReportStillHeld(bool closing);
    void ShowListenState();
    void StartServers();
    CentreHooks Hooks();

    void PostDrain();
    // Handles queued hand-offs; a bounded drain stops after its time slice and posts the rest.
    void DrainHandOffs(bool bounded);
    // The staged rows into the lists, with the data column's extent.
    void CommitRows();
    void RefreshStatusLine();

    std::unique_ptr<MessageBoxes> m_boxes;
    std::unique_ptr<FolderChooser> m_chooser;
    ClientArea m_clientArea;
    LiveDisplay m_display;
    CommitPacer m_commits;
    std::vector<HandledRecord> m_batch;  // reused by every drain
    std::size_t m_nextInBatch = 0;
    std::atomic<bool> m_drainPosted{false};    // set by the receive thread's wake too
    std::optional<socket_info> m_shownClient;  // what "Desination IP:" and "Port:" show
    // The device the operator chose as SEND's destination; the newest client when none.
    std::optional<std::string> m_chosenDevice;
    DevicesDialog* m_devicesDialog = nullptr;
    // While the port bound is not the one typed, or not every address of both families.
    std::string m_listenNotice;

    QPixmap m_bmpListening;
    QPixmap m_bmpStopped;
    QLabel* m_staticStatus = nullptr;
    RowListView* m_listData = nullptr;
    RowListView* m_listTime = nullptr;
    RowListView* m_listSource = nullptr;
    QLineEdit* m_editSendBuffer = nullptr;
    QCheckBox* m_checkSendHex = nullptr;
    QCheckBox* m_checkAutoReply = nullptr;
    QCheckBox* m_checkDisplayHex = nullptr;
    QCheckBox* m_checkSendAtNextReport = nullptr;
    QLineEdit* m_editLocalPort = nullptr;
    QLineEdit* m_editSavePath = nullptr;
    QLineEdit* m_editDestIp = nullptr;
    QLineEdit* m_editDestPort = nullptr;
    QPushButton* m_buttonListen = nullptr;
    QPushButton* m_buttonSend = nullptr;
    QLabel* m_labelClock = nullptr;
    QLabel* m_labelNotices = nullptr;   // the log's failure and the like, in the header row
    QLabel* m_labelCounters = nullptr;  // the status strip below the content
    RateChart* m_rateChart = nullptr;   // beside the strip, at its right
    std::unique_ptr<RowWidths> m_dataWidths;
    Options m_options;
    bool m_closingForSignal = false;  // no message box may hold up the stop
    // Last, so gone first: its threads wake this window.
    Centre m_centre;
};

}  // namespace tarnwick
