#include "ui/activity/activity_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTableView>
#include <QLabel>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "core/activity/history_files.h"
#include "tests/ui/ui_support.h"
#include "ui/activity/time_chart.h"
#include "ui/main_window.h"
#include "ui/segmented_control.h"

namespace quillmote {
namespace {

using test::settle;
using test::waitFor;

Instant wallNow() { return std::chrono::time_point_cast<Instant::duration>(std::chrono::system_clock::now()); }

// Five days of an office up to now: busy working hours, quiet nights, a gap one
// afternoon, a crowd yesterday, and named devices of which one is new today.
void writeHistory(const std::filesystem::path& folder, Instant now, const Calendar& calendar) {
    const HistoryFiles history(folder);
    const Instant today = *calendar.startOfDay(now);
    const Instant from = *calendar.addingDays(today, -5);
    const auto minuteOf = [](Instant t) { return std::chrono::floor<std::chrono::minutes>(t); };
    for (Instant t = minuteOf(from); t < minuteOf(now); t += std::chrono::minutes(1)) {
        const int hour = calendar.hour(t);
        if (t > from + std::chrono::hours(24 * 2 + 14) && t < from + std::chrono::hours(24 * 2 + 17)) continue;
        const double around = (hour >= 9 && hour < 18 ? 14 : 3) + (t.time_since_epoch().count() / 60000000 % 5);
        ASSERT_FALSE(history.append({t, hour == 8 ? 30 : 60, around, 2, hour % 3, hour % 2, 1}));
    }
    const Instant crowd = *calendar.addingHours(*calendar.addingDays(today, -1), 11);
    ASSERT_FALSE(history.saveSurges({{Uuid::fromText("6F9619FF-8B86-D011-B42D-00C04FC964FF").value(), crowd,
                                      crowd + std::chrono::minutes(70), 15, 26, 33.4, {"Meeting Room TV"}}}));
    NamedPresence presence;
    for (int day = -5; day < 0; ++day)
        presence.days["Meeting Room TV"][NamedPresence::dayKey(*calendar.addingDays(today, day), calendar)] = {
            *calendar.addingDays(today, day), 3600};
    presence.days["Visitor's Speaker"][NamedPresence::dayKey(now, calendar)] = {now - std::chrono::minutes(5), 90};
    ASSERT_FALSE(history.saveNamedPresence(presence));
}

struct ActivityFixture : ::testing::Test {
    test::TempDir dir;
    Calendar calendar{"Europe/Berlin", "en_GB"};
    Instant now = wallNow();
    SurgeNotifier notifier{QDBusConnection(QStringLiteral("none"))};
    std::unique_ptr<ActivityMonitor> monitor;

    void SetUp() override {
        writeHistory(dir.path(), now, calendar);
        monitor = std::make_unique<ActivityMonitor>(notifier, TestSettings{dir.path(), {}, {}}, calendar);
        bool loaded = false;
        QObject::connect(monitor.get(), &ActivityMonitor::loaded, [&] { loaded = true; });
        monitor->load(now);
        ASSERT_TRUE(waitFor([&] { return loaded; }));
    }
};

// The chart's point for the middle of a bucket, in the view's coordinates.
QPoint pointOver(TimeChart& chart, Instant start) {
    const QPointF value(chart.xOf(start), 1);
    return chart.mapFromScene(chart.chart()->mapToScene(chart.chart()->mapToPosition(value)));
}

TEST_F(ActivityFixture, ShowsBothRangesAndTheHoveredBucket) {
    ActivityView view(*monitor, calendar, [this] { return now; }, ActivityRange::today);
    view.resize(900, 700);
    view.show();
    settle();
    EXPECT_EQ(view.summaryText().toStdString(), view.page().summary);
    EXPECT_NE(view.summaryText().indexOf(" · 1 unusual crowd this week"), -1) << view.summaryText().toStdString();
    EXPECT_NE(view.summaryText().indexOf("1 unfamiliar named device today"), -1);
    const auto texts = [&view] {
        QStringList all;
        for (const QLabel* label : view.widget()->findChildren<QLabel*>()) all << label->text();
        return all;
    };
    EXPECT_TRUE(texts().contains("Visitor's Speaker"));
    EXPECT_TRUE(texts().contains("Meeting Room TV"));  // the crowd's named device
    EXPECT_TRUE(test::saveScreenshot(view, "activity-today"));

    // The first hour of the day: a slot even before anything was heard in it.
    TimeChart& around = *view.devicesAroundChart();
    const Instant midnight = view.page().devicesAround.buckets.front().start;
    QTest::mouseMove(around.viewport(), pointOver(around, midnight));
    ASSERT_TRUE(waitFor([&] { return around.selected() == 0u; }));
    EXPECT_EQ(around.selectedTooltip()->title, calendar.hourName(midnight));
    EXPECT_TRUE(around.viewport()->rect().contains(around.tooltipRect().toRect()));

    // The month, through the switch as a user clicks it.
    EXPECT_EQ(view.rangeSwitch()->titles(), (QStringList{"Today", "Last 30 days"}));
    auto* month = view.rangeSwitch()->findChildren<QToolButton*>().at(1);
    QTest::mouseClick(month, Qt::LeftButton);
    settle();  // the axis needs a second line of labels: the plot moves
    ASSERT_EQ(view.range(), ActivityRange::month);
    ASSERT_EQ(view.page().devicesAround.buckets.size(), 30u);
    EXPECT_TRUE(texts().contains("Busiest minute"));
    EXPECT_FALSE(texts().contains("Usual"));
    // Yesterday, hovered at its right edge: its bar, busiest minute, and the tooltip kept inside.
    const Instant yesterday = view.page().devicesAround.buckets[28].start;
    QTest::mouseMove(around.viewport(), pointOver(around, yesterday));
    ASSERT_TRUE(waitFor([&] { return around.selected() == 28u; }));
    EXPECT_EQ(around.selectedTooltip()->lines.size(), 2u);
    EXPECT_TRUE(around.viewport()->rect().contains(around.tooltipRect().toRect()));
    settle();
    EXPECT_TRUE(test::saveScreenshot(view, "activity-month"));

    // The comings-and-goings chart selects among the heard days only.
    TimeChart& comings = *view.comingsAndGoingsChart();
    QTest::mouseMove(comings.viewport(), pointOver(comings, view.page().devicesAround.buckets[3].start));
    settle();
    EXPECT_FALSE(comings.selected());
    QTest::mouseMove(comings.viewport(), pointOver(comings, yesterday));
    ASSERT_TRUE(waitFor([&] { return comings.selected().has_value(); }));
    EXPECT_EQ(comings.selectedTooltip()->lines.front().rfind("Arrived ", 0), 0u);
}

TEST_F(ActivityFixture, DrawsTheDarkPaletteAndRedrawsWhenTheRangeChanges) {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x1E));
    dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
    dark.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::Button, QColor(0x33, 0x33, 0x33));
    dark.setColor(QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEE));
    ActivityView view(*monitor, calendar, [this] { return now; }, ActivityRange::month);
    view.setPalette(dark);
    view.resize(900, 700);
    view.show();
    settle();
    // The chart background is the window's, and a bar is drawn in the dark blue.
    const QImage picture = view.devicesAroundChart()->grab().toImage();
    EXPECT_EQ(picture.pixelColor(2, 2), dark.color(QPalette::Window));
    TimeChart& chart = *view.devicesAroundChart();
    const QPoint bar = pointOver(chart, view.page().devicesAround.buckets[28].start);
    EXPECT_EQ(picture.pixelColor(bar.x(), bar.y() - 3), QColor(0x39, 0x87, 0xE5));
    EXPECT_TRUE(test::saveScreenshot(view, "activity-month-dark"));

    view.setRange(ActivityRange::today);
    EXPECT_EQ(view.page().devicesAround.buckets.size(), 24u);
    EXPECT_EQ(view.rangeSwitch()->current(), 0);
}

TEST(ActivityPage, OpensFromTheLaunchSettingsAndHidesTheListActions) {
    test::TestStore replay("sample-capture.json", {"-startPage", "Activity", "-startRange", "month"});
    MainWindow window(replay.store);
    window.show();
    replay.store.start();
    ASSERT_TRUE(waitFor([&] { return window.activityView()->isVisible(); }));
    EXPECT_EQ(window.activityView()->range(), ActivityRange::month);
    EXPECT_FALSE(window.hideUnidentifiedBox()->isVisible());
    EXPECT_FALSE(window.searchField()->isVisible());
    EXPECT_FALSE(window.showsDevices());
    settle();
    EXPECT_TRUE(test::saveScreenshot(window, "main-window-activity"));

    auto* devices = window.pagePicker()->findChildren<QToolButton*>().at(0);
    QTest::mouseClick(devices, Qt::LeftButton);
    settle();
    EXPECT_TRUE(window.deviceTable()->isVisible());
    EXPECT_TRUE(window.hideUnidentifiedBox()->isVisible());
    EXPECT_FALSE(window.activityView()->isVisible());

    // Only the exact words count.
    test::TestStore lower("sample-capture.json", {"-startPage", "activity", "-startRange", "Month"});
    MainWindow other(lower.store);
    EXPECT_EQ(other.page(), MainWindow::Page::devices);
    EXPECT_EQ(other.activityView()->range(), ActivityRange::today);
}

}  // namespace
}  // namespace quillmote
