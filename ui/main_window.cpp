#include "ui/main_window.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/bluetooth_state_view.h"
#include "ui/device_detail_view.h"
#include "ui/device_list_delegate.h"
#include "ui/device_list_model.h"
#include "ui/find_sheet.h"
#include "ui/status_line.h"

namespace quillmote {

namespace {

struct ColumnWidth {
    int minimum;
    int ideal;
    int maximum;  // 0: none
};

constexpr ColumnWidth columnWidths[] = {
    {80, 84, 96},   // Signal
    {150, 220, 0},  // Name
    {62, 70, 0},    // Distance
    {48, 54, 0},    // Pkts/s
    {80, 110, 0},   // Maker
    {80, 130, 0},   // Type
    {34, 34, 34},   // Via
};

// A centred symbol, title and sentence, for lists with nothing to show.
QWidget* emptyPanel(const QString& title, const QString& text, QWidget* parent) {
    auto* panel = new QWidget(parent);
    auto* symbol = new QLabel(panel);
    symbol->setPixmap(QIcon::fromTheme(QStringLiteral("network-wireless"),
                                       panel->style()->standardIcon(QStyle::SP_DriveNetIcon))
                          .pixmap(40, 40));
    auto* heading = new QLabel(title, panel);
    QFont font = heading->font();
    font.setPointSizeF(font.pointSizeF() * 1.3);
    font.setBold(true);
    heading->setFont(font);
    auto* sentence = new QLabel(text, panel);
    sentence->setWordWrap(true);
    sentence->setForegroundRole(QPalette::PlaceholderText);
    auto* layout = new QVBoxLayout(panel);
    layout->addStretch();
    for (QLabel* label : {symbol, heading, sentence}) {
        label->setAlignment(Qt::AlignCenter);
        label->setTextFormat(Qt::PlainText);
        layout->addWidget(label, 0, Qt::AlignHCenter);
    }
    layout->addStretch();
    return panel;
}

}  // namespace

MainWindow::MainWindow(DeviceStore& store, QWidget* parent) : QMainWindow(parent), store_(store) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("Quillmote"));
    setMinimumSize(1000, 520);
    resize(defaultWidth, defaultHeight);

    buildToolbar();
    split_ = new QSplitter(Qt::Horizontal, this);
    split_->addWidget(buildList());
    split_->addWidget(buildDetail());
    split_->setChildrenCollapsible(false);
    split_->setStretchFactor(0, 1);
    split_->setStretchFactor(1, 0);
    split_->setSizes({720, 400});

    stateView_ = new BluetoothStateView(this);
    contentStack_ = new QStackedWidget(this);
    contentStack_->addWidget(stateView_);
    contentStack_->addWidget(split_);
    setCentralWidget(contentStack_);

    subtitle_ = new QLabel(this);
    subtitle_->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(subtitle_, 1);
    statusBar()->setSizeGripEnabled(false);

    connect(&store_, &DeviceStore::statusChanged, this, &MainWindow::refreshContent);
    connect(&store_, &DeviceStore::devicesChanged, this, [this] {
        refreshList();
        refreshDetail();
        refreshActions();
        refreshStatus();
    });
    connect(&store_, &DeviceStore::searchTextChanged, this, &MainWindow::refreshList);
    connect(&store_, &DeviceStore::hideUnidentifiedChanged, this, &MainWindow::refreshList);
    connect(&store_, &DeviceStore::selectedKeyChanged, this, [this] {
        selectStoredKey();
        refreshDetail();
    });
    connect(&store_, &DeviceStore::findSessionChanged, this, &MainWindow::followFindSession);
    connect(&store_.activity(), &ActivityMonitor::aroundNowChanged, this, &MainWindow::refreshStatus);
    connect(&store_.activity(), &ActivityMonitor::loaded, this, &MainWindow::refreshStatus);
    connect(&store_.notifier(), &SurgeNotifier::alertsAllowedChanged, this, &MainWindow::refreshStatus);

    refreshContent();
    refreshList();
    refreshDetail();
    refreshActions();
    refreshStatus();
}

void MainWindow::buildToolbar() {
    auto* toolbar = addToolBar(QStringLiteral("Devices"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->toggleViewAction()->setVisible(false);

    hideUnidentified_ = new QCheckBox(QStringLiteral("Hide unidentified"), toolbar);
    connect(hideUnidentified_, &QCheckBox::toggled, &store_, &DeviceStore::setHideUnidentified);
    toolbar->addWidget(hideUnidentified_);

    resort_ = new QToolButton(toolbar);
    resort_->setText(QStringLiteral("Re-sort"));
    resort_->setIcon(QIcon::fromTheme(QStringLiteral("view-sort"), style()->standardIcon(QStyle::SP_ArrowUp)));
    resort_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    resort_->setToolTip(QStringLiteral("Sorts by current signal strength once. Rows then stay put until you re-sort."));
    connect(resort_, &QToolButton::clicked, this, [this] { store_.publish(true); });
    // A widget action, so visibility can follow the sort.
    toolbar->addWidget(resort_)->setObjectName(QStringLiteral("resortAction"));

    clearSilent_ = new QToolButton(toolbar);
    clearSilent_->setText(QStringLiteral("Clear silent"));
    clearSilent_->setIcon(
        QIcon::fromTheme(QStringLiteral("edit-clear"), style()->standardIcon(QStyle::SP_DialogResetButton)));
    clearSilent_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    clearSilent_->setToolTip(QStringLiteral(
        "Removes greyed-out devices that haven't been heard for 30 seconds. Rows otherwise stay put; devices silent "
        "for 5 minutes are also tidied away every 10 minutes."));
    connect(clearSilent_, &QToolButton::clicked, &store_, &DeviceStore::clearSilent);
    toolbar->addWidget(clearSilent_);

    auto* spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);

    search_ = new QLineEdit(toolbar);
    search_->setPlaceholderText(QStringLiteral("Name, maker or type"));
    search_->setClearButtonEnabled(true);
    search_->setMinimumWidth(220);
    search_->setMaximumWidth(320);
    connect(search_, &QLineEdit::textChanged, &store_, &DeviceStore::setSearchText);
    toolbar->addWidget(search_);

    // The desktop's usual keys: Ctrl+F to search, Ctrl+Q to quit.
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
        search_->setFocus(Qt::ShortcutFocusReason);
        search_->selectAll();
    });
    connect(new QShortcut(QKeySequence::Quit, this), &QShortcut::activated, this, &QWidget::close);
}

QWidget* MainWindow::buildList() {
    model_ = new DeviceListModel(this);
    table_ = new QTableView(this);
    table_->setModel(model_);
    table_->setItemDelegate(new DeviceListDelegate(table_));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setShowGrid(false);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->setIconSize(QSize(16, 16));
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(24);
    table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    table_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView* header = table_->horizontalHeader();
    header->setStretchLastSection(false);
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setMinimumSectionSize(34);
    for (int column = 0; column < DeviceListModel::columnCount_; ++column) {
        const ColumnWidth width = columnWidths[column];
        header->resizeSection(column, width.ideal);
        if (width.minimum == width.maximum) header->setSectionResizeMode(column, QHeaderView::Fixed);
    }
    // The name takes whatever width the other columns leave, so the list never scrolls sideways.
    header->setSectionResizeMode(DeviceListModel::name, QHeaderView::Stretch);
    // Keeps each column within its bounds when the user drags a divider.
    connect(header, &QHeaderView::sectionResized, this, [header](int column, int, int size) {
        if (column < 0 || column >= DeviceListModel::columnCount_) return;
        const ColumnWidth width = columnWidths[column];
        int bounded = std::max(size, width.minimum);
        if (width.maximum > 0) bounded = std::min(bounded, width.maximum);
        if (bounded != size) header->resizeSection(column, bounded);
    });
    connect(header, &QHeaderView::sectionClicked, this, &MainWindow::sortByColumn);

    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (applyingPublish_ || !current.isValid()) return;
                store_.setSelectedKey(model_->rows()[current.row()].id);
            });
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!index.isValid()) return;
        store_.startFinding(model_->rows()[index.row()].id);
    });
    connect(table_, &QTableView::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = table_->indexAt(at);
        if (!index.isValid()) return;
        table_->selectRow(index.row());
        QMenu menu(this);
        menu.addAction(QStringLiteral("Find this device"), this, &MainWindow::findSelected);
        menu.exec(table_->viewport()->mapToGlobal(at));
    });

    listStack_ = new QStackedWidget(this);
    listStack_->addWidget(table_);
    listStack_->addWidget(emptyPanel(QStringLiteral("Listening…"),
                                     QStringLiteral("Devices appear here as soon as they broadcast."), this));
    listStack_->setMinimumWidth(640);
    return listStack_;
}

QWidget* MainWindow::buildDetail() {
    detail_ = new DeviceDetailView(store_, this);
    detailStack_ = new QStackedWidget(this);
    detailStack_->addWidget(detail_);
    detailStack_->addWidget(emptyPanel(QStringLiteral("Select a device"),
                                       QStringLiteral("Pick a row to see its signal over time, what it is, and why."),
                                       this));
    detailStack_->setMinimumWidth(340);
    detailStack_->setMaximumWidth(560);
    return detailStack_;
}

void MainWindow::refreshList() {
    applyingPublish_ = true;
    model_->setRows(store_.visibleDevices(), store_.publishedAt());
    applyingPublish_ = false;
    selectStoredKey();
    listStack_->setCurrentIndex(store_.devices().empty() ? 1 : 0);
    refreshSortIndicator();
}

void MainWindow::selectStoredKey() {
    const auto& key = store_.selectedKey();
    const auto row = key ? model_->rowOf(*key) : std::nullopt;
    const QModelIndex current = table_->selectionModel()->currentIndex();
    if (row && (!current.isValid() || current.row() != *row || !table_->selectionModel()->isRowSelected(*row))) {
        applyingPublish_ = true;
        table_->selectionModel()->setCurrentIndex(
            model_->index(*row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        applyingPublish_ = false;
    }
}

void MainWindow::refreshDetail() {
    const auto record = store_.record(store_.selectedKey());
    if (record) detail_->showRecord(*record);
    detailStack_->setCurrentIndex(record ? 0 : 1);
}

void MainWindow::refreshContent() {
    const BluetoothStatus status = store_.status();
    stateView_->setStatus(status, store_.problem());
    contentStack_->setCurrentIndex(status == BluetoothStatus::ready ? 1 : 0);
}

void MainWindow::refreshActions() {
    const auto& order = store_.sortOrder();
    resort_->setVisible(!order.empty() && order.front().isSnapshot());
    clearSilent_->setEnabled(store_.clearableCount() > 0);
}

void MainWindow::refreshSortIndicator() {
    QHeaderView* header = table_->horizontalHeader();
    const auto& order = store_.sortOrder();
    const auto column = order.empty() ? std::nullopt : DeviceListModel::columnOf(order.front().field);
    header->setSortIndicatorShown(column.has_value());
    if (column)
        header->setSortIndicator(*column, order.front().order == SortDirection::forward ? Qt::AscendingOrder
                                                                                         : Qt::DescendingOrder);
}

void MainWindow::sortByColumn(int column) {
    const DeviceOrder::Field field = DeviceListModel::sortField(column);
    const auto& order = store_.sortOrder();
    // A second click on the sorted column turns it around; another column starts ascending.
    SortDirection direction = SortDirection::forward;
    if (!order.empty() && order.front().field == field && order.front().order == SortDirection::forward)
        direction = SortDirection::reverse;
    store_.setSortOrder({DeviceOrder{field, direction}});
    refreshSortIndicator();
    refreshActions();
}

void MainWindow::refreshStatus() {
    ActivityMonitor& activity = store_.activity();
    const Instant now = std::chrono::time_point_cast<Instant::duration>(std::chrono::system_clock::now());
    StatusLine line;
    line.aroundNow = activity.aroundNow();
    line.normal = activity.normal(now);
    line.hourName = QString::fromStdString(store_.calendar().hourName(now));
    if (auto label = ActivityMonitor::basisLabel(line.normal.basis, now, store_.calendar()))
        line.basisLabel = QString::fromStdString(*label);
    line.alertsAllowed = store_.notifier().alertsAllowed();
    line.showsDevices = true;
    line.clearableCount = store_.clearableCount();
    const QString text = line.text();
    subtitle_->setText(text);
    setWindowTitle(QStringLiteral("Quillmote — ") + text);
}

QString MainWindow::statusLine() const { return subtitle_->text(); }

bool MainWindow::showsListeningPanel() const { return listStack_->currentIndex() == 1; }

bool MainWindow::showsDetail() const { return detailStack_->currentIndex() == 0; }

void MainWindow::findSelected() {
    const QModelIndex current = table_->selectionModel()->currentIndex();
    if (current.isValid()) store_.startFinding(model_->rows()[current.row()].id);
}

void MainWindow::followFindSession() {
    if (store_.findSession() && !findSheet_) {
        findSheet_ = new FindSheet(store_, this);
        findSheet_->open();
    }
}

}  // namespace quillmote
