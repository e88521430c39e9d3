#include "ui/device_detail_view.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <gtest/gtest.h>

#include "tests/support/sightings.h"
#include "tests/ui/ui_support.h"
#include "ui/elided_label.h"
#include "ui/raw_data_view.h"
#include "ui/signal_views.h"

namespace quillmote {
namespace {

using test::at;
using test::lowEnergy;

Instant wallClock() { return std::chrono::time_point_cast<Instant::duration>(std::chrono::system_clock::now()); }

QStringList labels(const RowGrid& grid) {
    QStringList out;
    for (const LabelledRow& row : grid.rows()) out << row.label;
    return out;
}

// The text the grid shows for a label, read from its widget.
QString shown(const RowGrid& grid, const QString& label) {
    for (std::size_t i = 0; i < grid.rows().size(); ++i)
        if (grid.rows()[i].label == label) return grid.valueLabel(i)->text();
    return QStringLiteral("<no row>");
}

struct DetailFixture : ::testing::Test {
    test::ReplayStore replay{"sample-capture.json"};
    DeviceDetailView view{replay.store};

    DetailFixture() { view.resize(640, 720); }

    RowGrid& rows() { return *view.findChild<RowGrid*>("deviceRows"); }
    QPushButton& findButton() { return *view.findChild<QPushButton*>("findButton"); }
    QString pill() { return view.findChild<QLabel*>("proximityPill")->text(); }
};

Sighting quietKeyboard() {
    return Sighting(SightingSource::paired, "a4-83-e7-11-22-33", at(0), std::nullopt, "Sam's Keyboard", {}, 0x540,
                    false, 64);
}

TEST_F(DetailFixture, APairedDeviceWithoutSignalCannotBeFollowed) {
    view.showRecord(DeviceRecord(quietKeyboard(), false));
    EXPECT_FALSE(findButton().isEnabled());
    EXPECT_EQ(findButton().toolTip(), "No live signal to follow.");
    EXPECT_EQ(pill(), "No reading");
    EXPECT_EQ(view.findChild<QLabel*>("dbm")->text(), "—");
    EXPECT_EQ(view.findChild<SignalBarsView*>("signalBars")->litBars(), 0);
    EXPECT_FALSE(labels(rows()).contains("Packets per second"));
    EXPECT_EQ(shown(rows(), "Heard via"), "Paired");
    EXPECT_EQ(shown(rows(), "Connected"), "No");
    EXPECT_EQ(shown(rows(), "Battery"), "64%");
    EXPECT_FALSE(labels(rows()).contains("Identity changes"));
    findButton().click();
    EXPECT_FALSE(replay.store.findSession().has_value());

    // A named device shows its name and, underneath, what it is.
    EXPECT_EQ(view.findChild<ElidedLabel*>("displayName")->fullText(), "Sam's Keyboard");
    EXPECT_TRUE(view.findChild<QLabel*>("identityLabel")->isVisibleTo(&view));
}

TEST_F(DetailFixture, ALiveDeviceCanBeFollowed) {
    replay.store.table().absorb(std::vector<Sighting>{lowEnergy("5C:3A:91:0E:22:7B", 0, -50)});
    const DeviceRecord record = *replay.store.table().record("5C:3A:91:0E:22:7B");
    view.showRecord(record);
    EXPECT_TRUE(findButton().isEnabled());
    EXPECT_EQ(findButton().toolTip(), "Hotter/colder meter with clicks.");
    EXPECT_EQ(pill(), "Near");
    EXPECT_EQ(view.findChild<QLabel*>("dbm")->text(), "−50");
    EXPECT_EQ(shown(rows(), "Heard via"), "Low energy");
    EXPECT_TRUE(shown(rows(), "Packets per second").endsWith(" (last 10 seconds)"));
    // An unnamed device shows its label once.
    EXPECT_EQ(view.findChild<ElidedLabel*>("displayName")->fullText(), QString::fromStdString(record.identity.label));
    EXPECT_FALSE(view.findChild<QLabel*>("identityLabel")->isVisibleTo(&view));

    findButton().click();
    ASSERT_TRUE(replay.store.findSession().has_value());
    EXPECT_EQ(replay.store.findSession()->targetKey(), "5C:3A:91:0E:22:7B");
}

TEST_F(DetailFixture, DeviceRowsInOrder) {
    DeviceRecord record(lowEnergy("5C:3A:91:0E:22:7B", 0, -70), false);
    record.adoptNewIdentity({});
    record.adoptNewIdentity(std::vector<Sighting>{lowEnergy("5C:3A:91:0E:22:7B", 1, -71)});
    record.isConnected = true;
    record.batteryPercent = 80;
    record.identity.label = "AirTag";
    record.identity.certainty = Certainty::likely;
    record.identity.maker = "Apple";
    record.identity.details = {"Battery 80%", "Beacon major 1", "Beacon minor 2"};
    view.showRecord(record);

    EXPECT_EQ(labels(rows()), (QStringList{"Type", "Maker", "Distance", "Packets per second", "Heard via",
                                           "Identity changes", "Connected", "Battery", "Detail", "Detail", "Detail",
                                           "First seen", "Packets"}));
    EXPECT_EQ(shown(rows(), "Type"), "AirTag (likely)");
    EXPECT_EQ(shown(rows(), "Maker"), "Apple");
    EXPECT_EQ(shown(rows(), "Identity changes"),
              "2, kept on this row because the name and broadcast pattern matched");
    EXPECT_EQ(shown(rows(), "Connected"), "Yes");
    EXPECT_EQ(shown(rows(), "Distance"),
              "This device doesn't announce its transmit power, so metres can't be estimated.");
    EXPECT_EQ(shown(rows(), "Packets"), "2");
    EXPECT_EQ(rows().rows()[9].value, "Beacon major 1");
    EXPECT_TRUE(shown(rows(), "First seen").endsWith(" ago"));
}

TEST(DeviceDetailRows, DistanceExplainsWhereTheMetresComeFrom) {
    Advertisement claimed;
    claimed.txPower = 4;  // one metre at −37, not calibrated
    DeviceRecord record(lowEnergy("A", 0, -60, claimed), false);
    const auto rows = DeviceDetailView::deviceRows(record, at(1), at(1));
    EXPECT_TRUE(rows[2].value.startsWith(QString::fromStdString(record.distance()->label()) + ": Unreliable: "));
    EXPECT_TRUE(rows[2].value.contains("?: "));

    Sighting ranged = lowEnergy("iBeacon-x", 0, -60);
    ranged.rangedBeacon = RangedBeacon::make(*Uuid::fromText("E2C56DB5-DFFB-48D2-B060-D0F5A71096E0"), 1, 2, 2.4);
    const auto beaconRows = DeviceDetailView::deviceRows(DeviceRecord(ranged, false), at(1), at(1));
    EXPECT_EQ(beaconRows[2].value, QString::fromUtf8("≈ 2 m: Rough range from the beacon's calibrated 1-metre "
                                                      "strength; walls and bodies still change it."));
    // A ranged beacon has no broadcast rate of its own.
    EXPECT_EQ(beaconRows[3].label, "Heard via");

    // Nothing to go on: an unknown device, by guess, with no maker and no reasons.
    DeviceRecord nothing(lowEnergy("B", 0, -60), false);
    EXPECT_EQ(DeviceDetailView::deviceRows(nothing, at(1), at(1))[0].value, "Unknown device (guess)");
    EXPECT_EQ(DeviceDetailView::deviceRows(nothing, at(1), at(1))[1].value, "Unknown");
}

TEST(DeviceDetailRows, FirstSeenCountsFromTheWallClock) {
    DeviceRecord record(lowEnergy("A", 0, -60), false);
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(DeviceDetailView::deviceRows(record, at(1), at(125.5), english).back().label, "Packets");
    const auto rows = DeviceDetailView::deviceRows(record, at(1), at(125.5), english);
    EXPECT_EQ(rows[rows.size() - 2].value, "2 min, 5 sec ago");
}

TEST_F(DetailFixture, WhyWeThinkThisOnlyWithEvidence) {
    DeviceRecord record(lowEnergy("A", 0, -60), false);
    record.identity.evidence.clear();
    view.showRecord(record);
    auto* why = view.findChild<QWidget*>("whySection");
    EXPECT_FALSE(why->isVisibleTo(&view));

    record.identity.evidence = {"Apple manufacturer data", "<b>Name</b> looks like AirPods", "Apple manufacturer data"};
    view.showRecord(record);
    EXPECT_TRUE(why->isVisibleTo(&view));
    QStringList lines;
    for (QLabel* label : why->findChildren<QLabel*>())
        if (!label->text().isEmpty() && label->text() != "Why we think this") lines << label->text();
    EXPECT_EQ(lines, (QStringList{"Apple manufacturer data", "<b>Name</b> looks like AirPods",
                                  "Apple manufacturer data"}));
}

TEST_F(DetailFixture, ARadiosNameIsShownAsText) {
    Advertisement ad = test::named("<img src=x>Pods\u202Eexe.txt");
    view.showRecord(DeviceRecord(lowEnergy("A", 0, -60, ad), false));
    auto* name = view.findChild<ElidedLabel*>("displayName");
    EXPECT_EQ(name->fullText(), "<img src=x>Podsexe.txt");
    EXPECT_EQ(name->textFormat(), Qt::PlainText);
}

TEST_F(DetailFixture, KeepsTabAndScrollForTheSameDeviceOnly) {
    view.resize(420, 260);
    view.show();
    DeviceRecord record(lowEnergy("5C:3A:91:0E:22:7B", 0, -60), false);
    record.identity.evidence = {"one", "two", "three", "four", "five"};
    view.showRecord(record);
    ASSERT_TRUE(test::waitFor([&] { return view.isVisible(); }));
    auto* scroll = view.findChild<QScrollArea*>("summaryScroll")->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0);
    scroll->setValue(scroll->maximum());
    const int scrolled = scroll->value();
    QLabel* typeValue = rows().valueLabel(0);

    record.absorb(lowEnergy("5C:3A:91:0E:22:7B", 1, -61));
    view.showRecord(record);
    EXPECT_EQ(scroll->value(), scrolled);
    EXPECT_EQ(rows().valueLabel(0), typeValue);  // updated in place, not rebuilt

    view.setTab(DeviceDetailView::Tab::raw);
    view.showRecord(record);
    EXPECT_EQ(view.tab(), DeviceDetailView::Tab::raw);

    view.showRecord(DeviceRecord(lowEnergy("OTHER", 0, -60), false));
    EXPECT_EQ(view.tab(), DeviceDetailView::Tab::summary);
    EXPECT_EQ(scroll->value(), 0);
}

TEST_F(DetailFixture, RawDataTabListsTheTablesPacketsForTheRow) {
    std::vector<Sighting> batch;
    for (int i = 0; i < 7; ++i) batch.push_back(lowEnergy("5C:3A:91:0E:22:7B", i, -60 - i));
    batch.push_back(lowEnergy("E4:17:D8:6A:90:31", 0, -70));
    replay.store.table().absorb(std::span<const Sighting>(batch));
    view.showRecord(*replay.store.table().record("5C:3A:91:0E:22:7B"));
    view.setTab(DeviceDetailView::Tab::raw);
    EXPECT_EQ(view.findChild<QLabel*>("packetLogTitle")->text(), "Packet log (7 kept, newest first)");
}

// The header is arranged for the record it shows, not the one before: side by side
// when both fit, else stacked flush left 10 apart, a name too long even for that
// cut with "…" and whole in its tooltip.
TEST_F(DetailFixture, HeaderFitsEachRecord) {
    const QString longName = QStringLiteral("Living room soundbar with a name far longer than this pane");
    const DeviceRecord keyboard(quietKeyboard(), false);
    const DeviceRecord soundbar(lowEnergy("5C:3A:91:0E:22:7B", 0, -60, test::named(longName.toStdString())), false);
    struct Step {
        const DeviceRecord* record;
        int width;
        bool sideBySide;
        bool cut;
    };
    const Step steps[] = {
        {&keyboard, 480, true, false},
        {&soundbar, 480, false, true},  // right after a short name, at the same width
        {&keyboard, 480, true, false},
        {&keyboard, 220, false, true},
    };
    view.show();
    auto* name = view.findChild<ElidedLabel*>("displayName");
    for (const Step& step : steps) {
        view.resize(step.width, 600);
        view.showRecord(*step.record);
        const QString full = name->fullText();
        const auto arranged = [&] {
            const QRect button(findButton().mapTo(&view, QPoint(0, 0)), findButton().size());
            const QRect title(name->mapTo(&view, QPoint(0, 0)), name->size());
            const QRect identity(name->parentWidget()->mapTo(&view, QPoint(0, 0)), name->parentWidget()->size());
            const bool fits = identity.right() < view.width() && button.right() < view.width();
            const bool laidOut = step.sideBySide
                                     ? button.top() < title.bottom() && button.left() > identity.right()
                                     : button.left() == identity.left() && button.top() == identity.bottom() + 11;
            const QString shown = name->text();
            const bool whole = shown == full;
            const bool cut = shown.size() > 1 && shown.endsWith(QChar(0x2026)) && full.startsWith(shown.chopped(1));
            return fits && laidOut && (step.cut ? cut : whole);
        };
        EXPECT_TRUE(test::waitFor(arranged)) << full.toStdString() << " at " << step.width << ": shown "
                                             << name->text().toStdString() << " in " << name->width() << " of "
                                             << name->sizeHint().width() << ", button at "
                                             << findButton().mapTo(&view, QPoint(0, 0)).x() << ","
                                             << findButton().mapTo(&view, QPoint(0, 0)).y();
        EXPECT_EQ(name->toolTip().contains(full), step.cut) << full.toStdString();
    }
    EXPECT_EQ(view.width(), 220);  // the header never holds the pane wide
}

// A lively record heard over the last ninety seconds, for a person to look at.
TEST_F(DetailFixture, Screenshots) {
    const Instant start = wallClock() - std::chrono::seconds(90);
    Advertisement ad;
    ad.manufacturerData = Bytes{0x4C, 0x00, 0x10, 0x06, 0x1B, 0x1E, 0x8A, 0x4F, 0x3C, 0x18};
    ad.txPower = 12;
    ad.isConnectable = true;
    std::vector<Sighting> batch;
    for (int i = 0; i < 180; ++i) {
        Sighting packet = lowEnergy("5C:3A:91:0E:22:7B", 0, -70 + static_cast<int>(12 * std::sin(i / 15.0)), ad);
        packet.time = start + std::chrono::milliseconds(500 * i);
        batch.push_back(packet);
    }
    replay.store.table().absorb(std::span<const Sighting>(batch));
    replay.store.publish(false);
    view.resize(640, 760);
    view.show();
    view.showRecord(*replay.store.table().record("5C:3A:91:0E:22:7B"));
    // Rows added to a shown pane appear once the event loop has laid them out.
    auto* name = view.findChild<ElidedLabel*>("displayName");
    ASSERT_TRUE(test::waitFor(
        [&] { return rows().valueLabel(0)->isVisible() && name->width() >= name->sizeHint().width(); }));
    EXPECT_TRUE(test::saveScreenshot(view, "detail-summary"));
    view.setTab(DeviceDetailView::Tab::raw);
    ASSERT_TRUE(test::waitFor([&] {
        const auto packets = view.findChildren<QWidget*>("packetRow");
        auto* title = view.findChild<QLabel*>("packetLogTitle");
        return !packets.isEmpty() && packets.front()->height() > 0 &&
               packets.front()->mapTo(&view, QPoint()).y() > title->mapTo(&view, QPoint()).y();
    }));
    EXPECT_TRUE(test::saveScreenshot(view, "detail-raw"));
}

}  // namespace
}  // namespace quillmote
