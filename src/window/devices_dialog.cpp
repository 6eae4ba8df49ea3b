#include "window/devices_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <ctime>

#include "log/time_text.h"
#include "window/device_texts.h"
#include "window/devices_model.h"

namespace tarnwick {
namespace {

// However fast records come, the table is redrawn at most this often.
constexpr int kRefreshMs = 250;
constexpr int kRowMargin = 6;  // pixels between a row's text and the next row
constexpr int kIdRole = Qt::UserRole;
constexpr int kWaitingRole = Qt::UserRole + 1;

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

// A read-only list of rows, one selected at a time, its columns as wide as their contents.
void MakeList(QTableView& list, const char* name) {
    list.setObjectName(QString::fromLatin1(name));
    list.setSelectionBehavior(QAbstractItemView::SelectRows);
    list.setSelectionMode(QAbstractItemView::SingleSelection);
    list.setEditTriggers(QAbstractItemView::NoEditTriggers);
    list.verticalHeader()->hide();
    list.verticalHeader()->setDefaultSectionSize(list.fontMetrics().height() + kRowMargin);
    list.horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list.horizontalHeader()->setStretchLastSection(true);
}

QHBoxLayout* Row(std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout;
    for (QWidget* widget : widgets) {
        row->addWidget(widget);
    }
    row->addStretch();
    return row;
}

}  // namespace

DevicesDialog::DevicesDialog(DeviceTable& devices, QWidget* parent)
    : QDialog(parent),
      m_devices(devices),
      m_model(new DevicesModel(this)),
      m_sorted(new QSortFilterProxyModel(this)),
      m_refresh(new QTimer(this)) {
    setObjectName(QStringLiteral("IDD_DEVICES"));
    setWindowTitle(QStringLiteral("Devices"));
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(DevicesModel::kSortRole);
    BuildLayout();
    ShowChosen(std::nullopt);
    connect(m_refresh, &QTimer::timeout, this, &DevicesDialog::Refresh);
    m_refresh->setInterval(kRefreshMs);
}

void DevicesDialog::BuildLayout() {
    m_table = new QTableView(this);
    MakeList(*m_table, "IDC_DEVICE_TABLE");
    m_table->setModel(m_sorted);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(DevicesModel::Key, Qt::AscendingOrder);

    m_held = new QTableWidget(0, 3, this);
    MakeList(*m_held, "IDC_HELD_COMMANDS");
    m_held->setHorizontalHeaderLabels(
        {QStringLiteral("Device"), QStringLiteral("Command"), QStringLiteral("State")});
    m_held->horizontalHeader()->setStretchLastSection(true);

    m_history = new QTableWidget(0, 4, this);
    MakeList(*m_history, "IDC_COMMAND_HISTORY");
    m_history->setHorizontalHeaderLabels({QStringLiteral("At"), QStringLiteral("Command"),
                                          QStringLiteral("State"), QStringLiteral("From")});

    m_chosen = new QLabel(this);
    m_chosen->setObjectName(QStringLiteral("IDC_CHOSEN_DEVICE"));
    m_useButton = Button("&Use as destination", "IDC_USE_AS_DESTINATION", this);
    m_newestButton = Button("&Newest sender", "IDC_NEWEST_SENDER", this);
    m_cancelButton = Button("&Cancel", "IDC_CANCEL_HELD", this);
    auto* heldLabel = new QLabel(QStringLiteral("Commands held for the next report:"), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 3);
    layout->addLayout(Row({m_useButton, m_newestButton, m_chosen}));
    layout->addWidget(heldLabel);
    layout->addWidget(m_held, 1);
    layout->addLayout(Row({m_cancelButton}));
    layout->addWidget(new QLabel(QStringLiteral("Commands of the selected device:"), this));
    layout->addWidget(m_history, 1);
    resize(1260, 640);

    connect(m_table, &QTableView::doubleClicked, this, &DevicesDialog::ChooseSelected);
    connect(m_useButton, &QPushButton::clicked, this, &DevicesDialog::ChooseSelected);
    connect(m_newestButton, &QPushButton::clicked, this, &DevicesDialog::NewestSenderChosen);
    connect(m_cancelButton, &QPushButton::clicked, this, &DevicesDialog::CancelSelected);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &DevicesDialog::EnableButtons);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &DevicesDialog::RefreshHistory);
    connect(m_held, &QTableWidget::itemSelectionChanged, this, &DevicesDialog::EnableButtons);
    EnableButtons();
}

void DevicesDialog::ShowChosen(const std::optional<std::string>& key) {
    m_chosen->setText(key ? QStringLiteral("SEND goes to ") + Latin1(*key)
                          : QStringLiteral("SEND goes to the newest sender"));
    m_newestButton->setEnabled(key.has_value());
}

void DevicesDialog::showEvent(QShowEvent* event) {
    Refresh();
    m_refresh->start();
    QDialog::showEvent(event);
}

void DevicesDialog::hideEvent(QHideEvent* event) {
    m_refresh->stop();
    QDialog::hideEvent(event);
}

void DevicesDialog::Refresh() {
    const Moment now = Moment::Now();
    m_model->Refresh(m_devices.Devices(now), now.wall);
    RefreshHeld();
    RefreshHistory();
    EnableButtons();
}

void DevicesDialog::RefreshHistory() {
    const std::optional<DeviceRow> device = SelectedDevice();
    QList<QStringList> rows;
    for (const CommandEntry& entry :
         device ? m_devices.History(device->key) : std::vector<CommandEntry>{}) {
        rows.append({Latin1(ClockText(LocalTimeOf(entry.at))), Latin1(entry.text),
                     Latin1(entry.state), Latin1(entry.source)});
    }
    if (rows == m_historyShown) {
        return;
    }
    m_history->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < rows[row].size(); ++column) {
            m_history->setItem(row, column, new QTableWidgetItem(rows[row][column]));
        }
    }
    m_historyShown = std::move(rows);
}

void DevicesDialog::RefreshHeld() {
    const std::vector<HeldCommand> held = m_devices.HeldCommands();
    QList<QStringList> rows;
    for (const HeldCommand& command : held) {
        rows.append({Latin1(command.key), Latin1(command.text), Latin1(HeldStateText(command))});
    }
    // Rebuilt only when something changed, so a selection is not lost to every refresh.
    if (rows == m_heldShown) {
        return;
    }
    const std::optional<std::uint64_t> selected = SelectedWaitingCommand();
    m_held->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        const HeldCommand& command = held[static_cast<std::size_t>(row)];
        for (int column = 0; column < rows[row].size(); ++column) {
            auto* item = new QTableWidgetItem(rows[row][column]);
            item->setData(kIdRole, QVariant::fromValue(command.id));
            item->setData(kWaitingRole, command.state == HeldState::Waiting);
            m_held->setItem(row, column, item);
        }
        if (selected == command.id) {
            m_held->selectRow(row);
        }
    }
    m_heldShown = std::move(rows);
}

std::optional<DeviceRow> DevicesDialog::SelectedDevice() const {
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return std::nullopt;
    }
    return m_model->RowAt(m_sorted->mapToSource(rows.front()).row());
}

std::optional<std::uint64_t> DevicesDialog::SelectedWaitingCommand() const {
    const QList<QTableWidgetItem*> items = m_held->selectedItems();
    if (items.isEmpty() || !items.front()->data(kWaitingRole).toBool()) {
        return std::nullopt;
    }
    return items.front()->data(kIdRole).value<std::uint64_t>();
}

void DevicesDialog::ChooseSelected() {
    if (const std::optional<DeviceRow> device = SelectedDevice()) {
        Q_EMIT DeviceChosen(Latin1(device->key));
    }
}

void DevicesDialog::CancelSelected() {
    if (const std::optional<std::uint64_t> id = SelectedWaitingCommand()) {
        m_devices.Cancel(*id, Moment::Now());
        Refresh();
    }
}

void DevicesDialog::EnableButtons() {
    m_useButton->setEnabled(SelectedDevice().has_value());
    m_cancelButton->setEnabled(SelectedWaitingCommand().has_value());
}

}  // namespace tarnwick
