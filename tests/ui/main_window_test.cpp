#include "ui/main_window.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <tuple>

#include "tests/support/sightings.h"
#include "tests/ui/ui_support.h"
#include "ui/bluetooth_state_view.h"
#include "ui/device_list_delegate.h"
#include "ui/device_list_model.h"
#include "ui/status_line.h"

namespace quillmote {
namespace {

using test::settle;
using test::waitFor;

// A window over a replayed capture, shown at its default size, its store started.
struct ShownWindow {
    test::TestStore replay;
    DeviceStore& store = replay.store;
    MainWindow window{store};
    DeviceListModel& model = *window.deviceModel();
    QTableView& table = *window.deviceTable();

    explicit ShownWindow(const std::string& capture) : replay(capture) {
        window.show();
        store.start();
    }
    QString cell(const std::string& key, int column, int role = Qt::DisplayRole) const {
        return model.index(model.rowOf(key).value_or(-1), column).data(role).toString();
    }
    void clickHeader(int column) {
        QHeaderView* header = table.horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, 5));
    }
};

TEST(MainWindow, ListsSortsSearchesAndClearsOverAReplay) {
    ShownWindow w("sample-capture.json");
    ASSERT_TRUE(waitFor([&] { return w.model.rowCount() == 4; }));
    EXPECT_TRUE(w.table.isVisible());  // the list, not the radio's state
    // The view learns of every row that comes and goes.
    int counted = w.model.rowCount();
    QObject::connect(&w.model, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int last) { counted += last - first + 1; });
    QObject::connect(&w.model, &QAbstractItemModel::rowsRemoved,
                     [&](const QModelIndex&, int first, int last) { counted -= last - first + 1; });
    // Three devices broadcast; the paired keyboard is not counted. No history yet.
    EXPECT_TRUE(waitFor([&] { return w.window.statusLine() == "3 around · learning normal (0 of 3 days)"; }))
        << w.window.statusLine().toStdString();
    EXPECT_EQ(w.cell("a4-83-e7-11-22-33", DeviceListModel::distance, Qt::ToolTipRole),
              "This device doesn't announce its transmit power, so metres can't be estimated.");

    // A click sorts by the column, a second one the other way round; the header shows it.
    w.clickHeader(DeviceListModel::name);
    EXPECT_EQ(w.store.sortOrder().at(0), (DeviceOrder{DeviceOrder::Field::name, SortDirection::forward}));
    w.clickHeader(DeviceListModel::name);
    EXPECT_EQ(w.store.sortOrder().at(0), (DeviceOrder{DeviceOrder::Field::name, SortDirection::reverse}));
    EXPECT_EQ(w.table.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    // "Re-sort" is there for a sort made once (signal), not for a column that keeps its
    // order; the toolbar shows or hides the button when it lays itself out again.
    for (const auto& [column, offered] : {std::pair{DeviceListModel::signal, true}, {DeviceListModel::name, false},
                                          {DeviceListModel::signal, true}}) {
        w.clickHeader(column);
        settle();
        EXPECT_EQ(w.window.resortButton()->isVisible(), offered) << column;
    }

    // Search narrows the rows; nothing found is an empty table, not "Listening…".
    QTest::keyClicks(w.window.searchField(), "apple");
    EXPECT_EQ(w.model.rowCount(), 2);
    w.window.searchField()->setText("no such device");
    EXPECT_EQ(w.model.rowCount(), 0);
    EXPECT_EQ(counted, 0);
    EXPECT_FALSE(w.window.showsListeningPanel());
    w.window.searchField()->clear();

    // A device last heard 31 s ago fades, and so does a paired one that is not
    // connected; "Clear silent" removes only the first.
    EXPECT_FALSE(w.window.clearSilentButton()->isEnabled());
    const Instant now = std::chrono::time_point_cast<Instant::duration>(std::chrono::system_clock::now());
    w.store.table().absorb(std::vector<Sighting>{
        Sighting(SightingSource::lowEnergy, "AA:BB:CC:00:00:01", addingSeconds(now, -31), -70),
        Sighting(SightingSource::paired, "aa-bb-cc-00-00-02", now, std::nullopt, "Old mouse", {}, 0x2580, false)});
    w.store.publish(false);
    EXPECT_EQ(w.cell("AA:BB:CC:00:00:01", DeviceListModel::maker, DeviceListModel::fadedRole), "true");
    EXPECT_EQ(w.cell("aa-bb-cc-00-00-02", DeviceListModel::name, DeviceListModel::fadedRole), "true");
    EXPECT_EQ(w.cell("a4-83-e7-11-22-33", DeviceListModel::signal, DeviceListModel::fadedRole), "false");
    EXPECT_TRUE(w.window.statusLine().endsWith(QStringLiteral(" · 1 silent"))) << w.window.statusLine().toStdString();
    QTest::mouseClick(w.window.clearSilentButton(), Qt::LeftButton);
    EXPECT_FALSE(w.model.rowOf("AA:BB:CC:00:00:01"));
    EXPECT_TRUE(w.model.rowOf("aa-bb-cc-00-00-02"));  // paired rows are never cleared by hand
    EXPECT_FALSE(w.window.clearSilentButton()->isEnabled());
    EXPECT_EQ(counted, w.model.rowCount());
}

// A dragged column stays within its bounds. The name keeps its minimum width however
// wide the others are dragged (the list then scrolls sideways) and fills the room
// again once there is some.
TEST(MainWindow, ColumnsKeepTheirBounds) {
    ShownWindow w("sample-capture.json");
    ASSERT_TRUE(waitFor([&] { return w.model.rowCount() == 4; }));
    QHeaderView& header = *w.table.horizontalHeader();
    for (const auto& [column, dragged, kept] : {std::tuple{DeviceListModel::signal, 200, 96},
                                                {DeviceListModel::kind, 10, 80}, {DeviceListModel::kind, 100, 100}}) {
        header.resizeSection(column, dragged);
        EXPECT_EQ(header.sectionSize(column), kept) << column << " dragged to " << dragged;
    }
    // 230 leaves the name less than its minimum but more than nothing.
    for (const auto& [makerWidth, squeezed] : {std::pair{230, true}, {700, true}, {110, false}}) {
        header.resizeSection(DeviceListModel::maker, makerWidth);
        settle();
        EXPECT_GE(header.sectionSize(DeviceListModel::name), 150) << makerWidth;
        EXPECT_EQ(w.table.horizontalScrollBar()->maximum() > 0, squeezed) << makerWidth;
        EXPECT_EQ(header.length() == w.table.viewport()->width(), !squeezed) << makerWidth;
    }
}

// The selection stays on its device through publishes and sorts, and the keyboard's
// menu key finds it whatever row lies under the middle of the list.
TEST(MainWindow, SelectionStaysWithItsDevice) {
    ShownWindow w("busy-capture.json");
    ASSERT_TRUE(waitFor([&] { return w.model.rowCount() >= 200; }));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.window));
    const auto selected = [&] {
        const QModelIndexList rows = w.table.selectionModel()->selectedRows();
        return rows.size() == 1 ? w.model.rows()[rows.front().row()].id : std::string("(none)");
    };
    const std::string key = w.model.rows()[w.model.rowCount() / 2].id;
    w.table.selectRow(w.model.rowCount() / 2);
    EXPECT_EQ(w.store.selectedKey(), key);
    EXPECT_TRUE(w.window.showsDetail());
    QScrollBar& scroll = *w.table.verticalScrollBar();
    scroll.setValue(scroll.maximum() / 2);
    const int scrolled = scroll.value();
    int publishes = 0;
    QObject::connect(&w.store, &DeviceStore::devicesChanged, [&] { ++publishes; });
    ASSERT_TRUE(waitFor([&] { return publishes >= 2; }));
    EXPECT_EQ(selected(), key);
    EXPECT_EQ(scroll.value(), scrolled);
    w.clickHeader(DeviceListModel::maker);
    EXPECT_EQ(selected(), key);
    EXPECT_EQ(w.store.selectedKey(), key);

    w.table.setFocus();
    w.table.selectRow(0);
    settle();
    const QRect first = w.table.visualRect(w.model.index(0, 0)).translated(w.table.viewport()->mapToGlobal(QPoint()));
    QPoint menuAt(-1, -1);
    QTimer::singleShot(0, &w.window, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menuAt = menu->pos();
            menu->actions().front()->trigger();
            menu->close();
        }
    });
    const QPoint middle = w.table.rect().center();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, middle, w.table.mapToGlobal(middle));
    QApplication::sendEvent(&w.table, &menuKey);
    EXPECT_GE(menuAt.y(), first.top());
    EXPECT_LE(menuAt.y(), first.bottom() + 1);
    ASSERT_TRUE(w.store.findSession());
    EXPECT_EQ(w.store.findSession()->targetKey(), w.model.rows()[0].id);

    // The find sheet is open over the window; a double-click finds another row, and
    // closing the window still ends the program.
    ASSERT_TRUE(waitFor([&] { return w.window.findSheet() && w.window.findSheet()->isVisible(); }));
    emit w.table.doubleClicked(w.model.index(5, DeviceListModel::name));  // the view's own signal for it
    EXPECT_EQ(w.store.findSession()->targetKey(), w.model.rows()[5].id);
    QTimer::singleShot(200, &w.window, &QWidget::close);
    QTimer hang;  // a hang fails instead of blocking the suite; gone with the test
    hang.setSingleShot(true);
    QObject::connect(&hang, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    hang.start(10000);
    EXPECT_EQ(QApplication::exec(), 0);
}

// A selected row's signal bars are drawn in the highlighted-text colour, so they stay
// visible on the highlight. A radio's name is never markup.
TEST(DeviceListDelegate, DrawsASelectedRowOnTheHighlight) {
    DeviceListModel model;
    model.setRows({DeviceRecord(test::lowEnergy("A", 0, -48, test::named("<b>B</b>\u202Eevil\nline")), false)},
                  test::at(1));
    EXPECT_EQ(model.index(0, DeviceListModel::name).data().toString(), QString::fromUtf8("<b>B</b>evil\u240Aline"));
    QStyleOptionViewItem option;
    option.palette = QGuiApplication::palette();
    option.state = QStyle::State_Enabled | QStyle::State_Selected;
    option.rect = QRect(0, 0, 84, 24);
    QImage image(option.rect.size(), QImage::Format_RGB32);
    image.fill(option.palette.color(QPalette::Highlight));
    QPainter painter(&image);
    DeviceListDelegate().paint(&painter, option, model.index(0, DeviceListModel::signal));
    painter.end();
    int lit = 0;  // left of the number
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < 40; ++x) lit += image.pixel(x, y) == option.palette.color(QPalette::HighlightedText).rgb();
    EXPECT_GE(lit, 20);
}

// The demo room is offered, when installed, to whoever cannot listen here, beside the
// problem's advice in full; its button starts the program again on it and closes
// this window.
TEST(BluetoothStateView, OffersTheDemoToWhoeverCannotListen) {
    EXPECT_FALSE(demoCapturePath().isEmpty());  // the build tree holds it where the program looks
    BluetoothStateView view(nullptr, QStringLiteral("/demo/capture.json"));
    using Case = std::tuple<BluetoothStatus, BluetoothProblem, bool>;
    for (const auto& [status, problem, offered] :
         {Case{BluetoothStatus::starting, BluetoothProblem::none, false},
          Case{BluetoothStatus::unsupported, BluetoothProblem::none, true},
          Case{BluetoothStatus::starting, BluetoothProblem::noBluetoothService, true}}) {
        view.setStatus(status, problem);
        EXPECT_EQ(view.offersDemo(), offered) << static_cast<int>(status);
    }
    // A desktop settings program on the PATH (a stand-in here) is offered where
    // permission is missing, and only there.
    test::TempDir bin;
    std::filesystem::permissions(bin.write("blueman-manager", "#!/bin/sh\n"), std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin.path().string() + ":") + path);
    view.setStatus(BluetoothStatus::notAllowed);
    EXPECT_TRUE(view.offersSettings());
    view.setStatus(BluetoothStatus::poweredOff);
    EXPECT_FALSE(view.offersSettings());
    qputenv("PATH", path);

    view.setStatus(BluetoothStatus::starting, BluetoothProblem::noSystemBus);
    QStringList started;
    view.setLauncher([&](const QString& program, const QStringList& arguments) {
        started = QStringList{program} + arguments;
        return true;
    });
    view.resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    settle();
    const auto* message = view.findChild<QLabel*>(QStringLiteral("message"));
    EXPECT_EQ(message->text().toStdString(), problemAdvice(BluetoothProblem::noSystemBus));
    EXPECT_GE(message->height(), message->heightForWidth(message->width()));  // every line it wraps to
    for (QPushButton* button : view.findChildren<QPushButton*>())
        if (button->isVisible()) QTest::mouseClick(button, Qt::LeftButton);
    // The same settings again; a later "-replayPath" wins over an earlier one.
    EXPECT_EQ(started, (QStringList{QCoreApplication::applicationFilePath()} + QCoreApplication::arguments().mid(1) +
                        QStringList{"-replayPath", "/demo/capture.json"}));
    EXPECT_TRUE(waitFor([&] { return !view.isVisible(); }));
}

TEST(StatusLine, JoinsItsParts) {
    StatusLine line;
    line.aroundNow = 12;
    line.normal.learningDays = 1;
    EXPECT_EQ(line.text(), "12 around · learning normal (1 of 3 days)");
    const QString threePm = QString::fromUtf8("3\u202FPM");
    line = StatusLine{12, {8.5, std::nullopt, 0}, threePm, QStringLiteral("weekdays"), false, true, 2, true,
                      QStringLiteral("not authorised")};
    EXPECT_EQ(line.text(), QString::fromUtf8("12 around · usual 9 at 3\u202FPM (weekdays) · alerts off · history not "
                                             "saved · MQTT: not authorised · 2 silent"));
    line.historyNotSaved = false;
    line.mqttProblem.reset();
    line.alertsAllowed.reset();  // unknown is not "off"
    line.basisLabel.reset();     // a forced level has no basis
    line.showsDevices = false;   // the activity page has no silent count
    EXPECT_EQ(line.text(), QString::fromUtf8("12 around · usual 9 at 3\u202FPM"));
}

}  // namespace
}  // namespace quillmote
