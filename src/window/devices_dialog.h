#pragma once

// The Devices window: every device heard, live, the commands held for devices' next reports,
// and the selected device's command history. It only shows and asks; the main window owns the
// destination the operator chooses.

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>

#include "session/device_table.h"

class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTableWidget;
class QTimer;

namespace tarnwick {

class DevicesModel;

class DevicesDialog final : public QDialog {
    Q_OBJECT

public:
    DevicesDialog(DeviceTable& devices, QWidget* parent);

    // What the main window's SEND goes to: a device's key, or the newest sender (nothing).
    void ShowChosen(const std::optional<std::string>& key);

Q_SIGNALS:
    void DeviceChosen(const QString& key);
    void NewestSenderChosen();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildLayout();
    void Refresh();
    void RefreshHeld();
    // The selected device's command history, newest first.
    void RefreshHistory();
    void ChooseSelected();
    void CancelSelected();
    void EnableButtons();
    [[nodiscard]] std::optional<DeviceRow> SelectedDevice() const;
    [[nodiscard]] std::optional<std::uint64_t> SelectedWaitingCommand() const;

    DeviceTable& m_devices;
    DevicesModel* m_model = nullptr;
    QSortFilterProxyModel* m_sorted = nullptr;
    QTableView* m_table = nullptr;
    QTableWidget* m_held = nullptr;
    QTableWidget* m_history = nullptr;
    QLabel* m_chosen = nullptr;
    QPushButton* m_useButton = nullptr;
    QPushButton* m_newestButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QTimer* m_refresh = nullptr;
    QList<QStringList> m_heldShown;     // the held list's rows as last shown
    QList<QStringList> m_historyShown;  // and the history's
};

}  // namespace tarnwick
