#include "ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/activity/activity_view.h"
#include "ui/bluetooth_state_view.h"
#include "ui/device_detail_view.h"
#include "ui/device_list_delegate.h"
#include "ui/device_list_model.h"
#include "ui/find_sheet.h"
#include "ui/icons.h"
#include "ui/looks/look_page.h"
#include "ui/segmented_control.h"
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
    symbol->setPixmap(
        bundledIcon(QStringLiteral("radio"), panel->palette(), QPalette::PlaceholderText).pixmap(40, 40));
    auto* heading = new QLabel(title, panel);
    QFont font = heading->font();
    font.setPointSizeF(font.pointSizeF() * 1.3);
    font.setBold(true);
    heading->setFont(font);
    auto* sentence = new QLabel(text, panel);
    sentence->setForegroundRole(QPalette::PlaceholderText);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(24, 0, 24, 0);
    layout->addStretch();
    for (QLabel* label : {symbol, heading, sentence}) {
        label->setAlignment(Qt::AlignCenter);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(label != symbol);
        // The full width, centred by the label itself: a label aligned within the
        // layout is laid out one line high however many lines its text wraps to.
        layout->addWidget(label);
    }
    layout->addStretch();
    return panel;
}

}  // namespace

namespace {

// Exact words only: anything else opens the devices page and today's range.
MainWindow::Page startPage(const LaunchSettings& settings) {
    return settings.text(QStringLiteral("startPage")) == QStringLiteral("Activity") ? MainWindow::Page::activity
                                                                                    : MainWindow::Page::devices;
}

Look storedLook(const LaunchSettings& settings) {
    const auto stored = settings.text(QStringLiteral("look"));
    return stored ? lookFromRaw(stored->toStdString()).value_or(Look::standard) : Look::standard;
}

// The window's own colours for the looks that decide between light and dark.
QPalette paletteFor(bool dark) {
    if (!dark) return QPalette(QColor(0xEF, 0xEF, 0xEF), QColor(0xF7, 0xF7, 0xF7));
    QPalette palette(QColor(0x3A, 0x3A, 0x3D), QColor(0x26, 0x26, 0x29));
    palette.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
    palette.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
    palette.setColor(QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEE));
    palette.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x21));
    palette.setColor(QPalette::AlternateBase, QColor(0x2A, 0x2A, 0x2D));
    palette.setColor(QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99));
    palette.setColor(QPalette::Highlight, QColor(0x2A, 0x78, 0xD6));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

ActivityRange startRange(const LaunchSettings& settings) {
    return settings.text(QStringLiteral("startRange")) == QStringLiteral("month") ? ActivityRange::month
                                                                                 : ActivityRange::today;
}

}  // namespace

MainWindow::MainWindow(DeviceStore& store, QWidget* parent)
    : QMainWindow(parent),
      store_(store),
      page_(startPage(store.settings())),
      look_(storedLook(store.settings())) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("Quillmote"));
    setMinimumSize(1000, 520);
    resize(defaultWidth, defaultHeight);

    buildActions();
    buildMenus();
    buildToolbar();
    split_ = new QSplitter(Qt::Horizontal, this);
    split_->addWidget(buildList());
    split_->addWidget(buildDetail());
    split_->setChildrenCollapsible(false);
    split_->setStretchFactor(0, 1);
    split_->setStretchFactor(1, 0);
    split_->setSizes({720, 400});

    stateView_ = new BluetoothStateView(this);
    activity_ = new ActivityView(store_.activity(), store_.calendar(), [this] { return store_.now(); },
                                 startRange(store_.settings()), this);
    contentStack_ = new QStackedWidget(this);
    contentStack_->addWidget(stateView_);
    contentStack_->addWidget(split_);
    contentStack_->addWidget(activity_);
    lookPage_ = new LookPage(store_, fonts_, this);
    lookPage_->setLook(look_);
    contentStack_->addWidget(lookPage_);
    setCentralWidget(contentStack_);

    subtitle_ = new QLabel(this);
    subtitle_->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(subtitle_, 1);
    statusBar()->setSizeGripEnabled(false);

    connect(&store_, &DeviceStore::statusChanged, this, &MainWindow::refreshContent);
    connect(&store_, &DeviceStore::devicesChanged, this, [this] {
        refreshLook();
        refreshList();
        refreshDetail();
        refreshActions();
        refreshStatus();
    });
    // The looks show the same rows as the list, so they filter with it.
    for (auto filterChanged : {&DeviceStore::searchTextChanged, &DeviceStore::hideUnidentifiedChanged})
        connect(&store_, filterChanged, this, [this] {
            refreshList();
            refreshLook();
        });
    connect(&store_, &DeviceStore::selectedKeyChanged, this, [this] {
        refreshLook();
        selectStoredKey();
        refreshDetail();
    });
    connect(&store_, &DeviceStore::findSessionChanged, this, &MainWindow::followFindSession);
    connect(&store_.activity(), &ActivityMonitor::aroundNowChanged, this, [this] {
        refreshStatus();
        refreshLook();
    });
    connect(&store_.activity(), &ActivityMonitor::loaded, this, &MainWindow::refreshStatus);
    connect(&store_.activity(), &ActivityMonitor::historySavingChanged, this, &MainWindow::refreshStatus);
    connect(&store_, &DeviceStore::mqttChanged, this, &MainWindow::refreshStatus);
    connect(&store_.notifier(), &SurgeNotifier::alertsAllowedChanged, this, &MainWindow::refreshStatus);

    applyAppearance();
    refreshContent();
    refreshList();
    refreshDetail();
    refreshActions();
    refreshStatus();
}

void MainWindow::buildActions() {
    hideUnidentifiedAction_ = new QAction(QStringLiteral("Hide unidentified"), this);
    hideUnidentifiedAction_->setCheckable(true);
    connect(hideUnidentifiedAction_, &QAction::toggled, &store_, &DeviceStore::setHideUnidentified);

    resortAction_ = new QAction(bundledIcon(QStringLiteral("arrow-up-down"), palette(), QPalette::ButtonText),
                                QStringLiteral("Re-sort"), this);
    resortAction_->setToolTip(QStringLiteral("Sorts by current signal strength once. Rows then stay put until you re-sort."));
    connect(resortAction_, &QAction::triggered, this, [this] { store_.publish(true); });

    clearSilentAction_ = new QAction(bundledIcon(QStringLiteral("eraser"), palette(), QPalette::ButtonText),
                                     QStringLiteral("Clear silent"), this);
    clearSilentAction_->setToolTip(QStringLiteral(
        "Removes greyed-out devices that haven't been heard for 30 seconds. Rows otherwise stay put; devices silent "
        "for 5 minutes are also tidied away every 10 minutes."));
    connect(clearSilentAction_, &QAction::triggered, &store_, &DeviceStore::clearSilent);
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* quit = file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));  // not every platform theme binds QKeySequence::Quit
    quit->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QAction* find = edit->addAction(QStringLiteral("&Find"), this, [this] {
        search_->setFocus(Qt::ShortcutFocusReason);
        search_->selectAll();
    });
    find->setShortcut(QKeySequence::Find);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    auto* looks = new QActionGroup(this);
    for (Look look : allLooks) {
        const int index = static_cast<int>(look);
        QAction* action = view->addAction(QString::fromUtf8(rawValue(look)));
        action->setCheckable(true);
        action->setChecked(look == look_);
        action->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + index)));
        looks->addAction(action);
        connect(action, &QAction::triggered, this, [this, look] { setLook(look); });
        lookActions_[index] = action;
    }
    view->addSeparator();
    view->addAction(hideUnidentifiedAction_);
    view->addAction(resortAction_);
    view->addAction(clearSilentAction_);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* about = help->addAction(QStringLiteral("&About Quillmote"), this, [this] {
        QMessageBox::about(this, QStringLiteral("About Quillmote"), aboutText());
    });
    about->setMenuRole(QAction::AboutRole);
}

QString MainWindow::aboutText() {
    return QStringLiteral("<h3>Quillmote %1</h3>"
                          "<p>See what is transmitting over Bluetooth around you.</p>"
                          "<p>MIT licence. Copyright (c) 2026 The Quillmote developers.</p>"
                          "<p>Icons from Lucide, ISC licence.</p>")
        .arg(QStringLiteral(QUILLMOTE_VERSION));
}

void MainWindow::buildToolbar() {
    toolbar_ = addToolBar(QStringLiteral("Devices"));
    toolbar_->setObjectName(QStringLiteral("toolbar"));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar_->toggleViewAction()->setVisible(false);

    QStringList lookTitles;
    for (Look look : allLooks) lookTitles << QString::fromUtf8(rawValue(look));
    lookPicker_ = new SegmentedControl(lookTitles, QStringLiteral("Look"), toolbar_);
    lookPicker_->setToolTip(QStringLiteral("How the device list is drawn. Also in the View menu, Ctrl+1–Ctrl+4."));
    lookPicker_->setCurrent(static_cast<int>(look_));
    connect(lookPicker_, &SegmentedControl::chosen, this, [this](int index) { setLook(allLooks[index]); });
    toolbar_->addWidget(lookPicker_);
    toolbar_->addSeparator();

    pagePicker_ = new SegmentedControl({QStringLiteral("Devices"), QStringLiteral("Activity")}, QStringLiteral("View"),
                                       toolbar_);
    pagePicker_->setCurrent(page_ == Page::devices ? 0 : 1);
    connect(pagePicker_, &SegmentedControl::chosen, this,
            [this](int index) { setPage(index == 0 ? Page::devices : Page::activity); });
    pagePickerAction_ = toolbar_->addWidget(pagePicker_);

    hideUnidentified_ = new QCheckBox(hideUnidentifiedAction_->text(), toolbar_);
    connect(hideUnidentified_, &QCheckBox::toggled, &store_, &DeviceStore::setHideUnidentified);
    // The box and the View menu's item show the same choice.
    const auto showHideUnidentified = [this] {
        hideUnidentified_->setChecked(store_.hideUnidentified());
        hideUnidentifiedAction_->setChecked(store_.hideUnidentified());
    };
    connect(&store_, &DeviceStore::hideUnidentifiedChanged, this, showHideUnidentified);
    showHideUnidentified();
    hideUnidentifiedBoxAction_ = toolbar_->addWidget(hideUnidentified_);
    // Actions, not widgets: the toolbar shows or hides an action's button itself.
    toolbar_->addAction(resortAction_);
    toolbar_->addAction(clearSilentAction_);

    auto* spacer = new QWidget(toolbar_);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar_->addWidget(spacer);

    search_ = new QLineEdit(toolbar_);
    search_->setPlaceholderText(QStringLiteral("Name, maker or type"));
    search_->setClearButtonEnabled(true);
    search_->setMinimumWidth(220);
    search_->setMaximumWidth(320);
    connect(search_, &QLineEdit::textChanged, &store_, &DeviceStore::setSearchText);
    searchAction_ = toolbar_->addWidget(search_);
}

void MainWindow::setLook(Look look) {
    if (look == look_) return;
    look_ = look;
    store_.settings().setText(QStringLiteral("look"), QString::fromUtf8(rawValue(look)));
    lookPicker_->setCurrent(static_cast<int>(look));
    lookActions_[static_cast<int>(look)]->setChecked(true);
    lookPage_->setLook(look);
    applyAppearance();
    refreshContent();
    refreshActions();
    refreshStatus();
}

// Voice is drawn on paper, Ledger and Present at night; the list follows the desktop.
void MainWindow::applyAppearance() {
    if (look_ == Look::standard)
        setPalette(QPalette());  // the desktop's, and its changes
    else
        setPalette(paletteFor(LookPalette::of(look_).dark));
}

void MainWindow::refreshLook() {
    if (look_ != Look::standard && contentStack_->currentWidget() == lookPage_) lookPage_->refresh();
}

void MainWindow::setPage(Page page) {
    if (page == page_) return;
    page_ = page;
    pagePicker_->setCurrent(page == Page::devices ? 0 : 1);
    refreshContent();
    refreshActions();
    refreshStatus();
}

QToolButton* MainWindow::resortButton() const {
    return qobject_cast<QToolButton*>(toolbar_->widgetForAction(resortAction_));
}

QToolButton* MainWindow::clearSilentButton() const {
    return qobject_cast<QToolButton*>(toolbar_->widgetForAction(clearSilentAction_));
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
    // Context menus and resizes reach the view and its viewport: see eventFilter.
    table_->installEventFilter(this);
    table_->viewport()->installEventFilter(this);
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
    header->setSectionResizeMode(DeviceListModel::name, QHeaderView::Stretch);
    // Keeps each column within its bounds when the user drags a divider.
    connect(header, &QHeaderView::sectionResized, this, [this, header](int column, int, int size) {
        if (column < 0 || column >= DeviceListModel::columnCount_) return;
        const ColumnWidth width = columnWidths[column];
        int bounded = std::max(size, width.minimum);
        if (width.maximum > 0) bounded = std::min(bounded, width.maximum);
        if (bounded != size) header->resizeSection(column, bounded);
        if (column != DeviceListModel::name) keepNameColumnWidth();
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
    if (status != BluetoothStatus::ready)
        contentStack_->setCurrentWidget(stateView_);
    else if (look_ != Look::standard)
        contentStack_->setCurrentWidget(lookPage_);
    else
        contentStack_->setCurrentWidget(page_ == Page::devices ? static_cast<QWidget*>(split_) : activity_);
    refreshLook();
}

void MainWindow::refreshActions() {
    const auto& order = store_.sortOrder();
    pagePickerAction_->setVisible(look_ == Look::standard);
    hideUnidentifiedBoxAction_->setVisible(showsDevices());
    hideUnidentifiedAction_->setVisible(showsDevices());
    searchAction_->setVisible(showsDevices());
    resortAction_->setVisible(showsDevices() && !order.empty() && order.front().isSnapshot());
    clearSilentAction_->setVisible(showsDevices());
    clearSilentAction_->setEnabled(store_.clearableCount() > 0);
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
    const Instant now = store_.now();
    StatusLine line;
    line.aroundNow = activity.aroundNow();
    line.normal = activity.normal(now);
    line.hourName = QString::fromStdString(store_.calendar().hourName(now));
    if (auto label = basisLabel(line.normal.basis, now, store_.calendar()))
        line.basisLabel = QString::fromStdString(*label);
    line.alertsAllowed = store_.notifier().alertsAllowed();
    line.showsDevices = showsDevices();
    line.clearableCount = store_.clearableCount();
    const auto& problem = activity.historyProblem();
    line.historyNotSaved = problem.has_value();
    if (auto* mqtt = store_.mqtt(); mqtt && mqtt->problem()) line.mqttProblem = QString::fromStdString(*mqtt->problem());
    const QString text = line.text();
    subtitle_->setText(text);
    subtitle_->setToolTip(problem ? QStringLiteral("The activity history cannot be written to ") +
                                        QString::fromStdString(activity.history().folder().string()) +
                                        QStringLiteral(": ") + QString::fromStdString(*problem) +
                                        QStringLiteral(". It is kept in memory until it can.")
                                  : QString());
}

QString MainWindow::statusLine() const { return subtitle_->text(); }

bool MainWindow::showsListeningPanel() const { return listStack_->currentIndex() == 1; }

bool MainWindow::showsDetail() const { return detailStack_->currentIndex() == 0; }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ || watched == table_->viewport()) {
        if (event->type() == QEvent::ContextMenu) {
            showRowMenu(*static_cast<QContextMenuEvent*>(event));
            return true;
        }
        if (event->type() == QEvent::Resize && watched == table_->viewport()) keepNameColumnWidth();
    }
    return QMainWindow::eventFilter(watched, event);
}

// The name stretches over whatever the other columns leave, but never below its
// minimum: when they leave less, it keeps the minimum and the list scrolls sideways.
void MainWindow::keepNameColumnWidth() {
    QHeaderView* header = table_->horizontalHeader();
    int others = 0;
    for (int column = 0; column < DeviceListModel::columnCount_; ++column)
        if (column != DeviceListModel::name) others += header->sectionSize(column);
    const int minimum = columnWidths[DeviceListModel::name].minimum;
    const bool fits = table_->viewport()->width() - others >= minimum;
    const auto mode = fits ? QHeaderView::Stretch : QHeaderView::Interactive;
    if (header->sectionResizeMode(DeviceListModel::name) != mode)
        header->setSectionResizeMode(DeviceListModel::name, mode);
    if (!fits && header->sectionSize(DeviceListModel::name) < minimum)
        header->resizeSection(DeviceListModel::name, minimum);
}

// The menu acts on the selected row. A right-click selects the row under the pointer
// first; the keyboard's menu key opens it beside the selected row.
void MainWindow::showRowMenu(const QContextMenuEvent& event) {
    QModelIndex row;
    QPoint at = event.globalPos();
    if (event.reason() == QContextMenuEvent::Mouse) {
        row = table_->indexAt(table_->viewport()->mapFromGlobal(event.globalPos()));
        if (row.isValid()) table_->selectRow(row.row());
    } else {
        const QModelIndexList selected = table_->selectionModel()->selectedRows(DeviceListModel::name);
        if (!selected.isEmpty()) row = selected.front();
        if (row.isValid()) {
            table_->scrollTo(row);
            at = table_->viewport()->mapToGlobal(table_->visualRect(row).bottomLeft());
        }
    }
    if (!row.isValid()) return;
    QMenu menu(this);
    menu.addAction(bundledIcon(QStringLiteral("crosshair"), menu.palette()), QStringLiteral("Find this device"), this,
                   &MainWindow::findSelected);
    menu.exec(at);
}

void MainWindow::findSelected() {
    if (const auto& key = store_.selectedKey()) store_.startFinding(*key);
}

void MainWindow::followFindSession() {
    if (store_.findSession() && !findSheet_) {
        findSheet_ = new FindSheet(store_, this);
        findSheet_->open();
    }
}

}  // namespace quillmote
