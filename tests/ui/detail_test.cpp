#include "ui/device_detail_view.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <gtest/gtest.h>

#include "core/sightings/fixture.h"
#include "tests/support/sightings.h"
#include "tests/ui/ui_support.h"
#include "ui/elided_label.h"
#include "ui/raw_data_view.h"

namespace quillmote {
namespace {

using test::at;
using test::labels;
using test::lowEnergy;

struct DetailFixture : ::testing::Test {
    test::TestStore replay{"sample-capture.json"};
    DeviceDetailView view{replay.store};
    RowGrid& rows = *view.findChild<RowGrid*>("deviceRows");
    QPushButton& findButton = *view.findChild<QPushButton*>("findButton");
    ElidedLabel& name = *view.findChild<ElidedLabel*>("displayName");

    QString text(const char* label) { return view.findChild<QLabel*>(label)->text(); }
    bool shows(const char* part) { return view.findChild<QWidget*>(part)->isVisibleTo(&view); }
};

DeviceRecord quietKeyboard() {
    return DeviceRecord(Sighting(SightingSource::paired, "a4-83-e7-11-22-33", at(0), std::nullopt, "Sam's Keyboard",
                                 {}, 0x540, false, 64),
                        false);
}

// Only a device heard now can be followed. A named one shows what it is under its
// name; an unnamed one shows its label once.
TEST_F(DetailFixture, OnlyALiveDeviceCanBeFollowed) {
    view.showRecord(quietKeyboard());
    EXPECT_FALSE(findButton.isEnabled());
    EXPECT_EQ(text("proximityPill"), "No reading");
    ASSERT_EQ(labels(rows.rows()), (QStringList{"Type", "Maker", "Distance", "Heard via", "Connected", "Battery",
                                                "First seen", "Packets"}));
    EXPECT_EQ(rows.valueLabel(5)->text(), "64%");
    EXPECT_TRUE(shows("identityLabel"));

    replay.store.table().absorb(std::vector<Sighting>{lowEnergy("5C:3A:91:0E:22:7B", 0, -50)});
    const DeviceRecord live = *replay.store.table().record("5C:3A:91:0E:22:7B");
    view.showRecord(live);
    EXPECT_TRUE(findButton.isEnabled());
    EXPECT_EQ(text("proximityPill"), "Near");
    EXPECT_EQ(name.fullText(), QString::fromStdString(live.identity.label));
    EXPECT_FALSE(shows("identityLabel"));
    findButton.click();
    ASSERT_TRUE(replay.store.findSession());
    EXPECT_EQ(replay.store.findSession()->targetKey(), "5C:3A:91:0E:22:7B");
}

// Rows for what is known, in a fixed order, saying how sure and where metres come from.
TEST(DeviceDetailRows, SayWhatIsKnownAndHowSure) {
    DeviceRecord record(lowEnergy("5C:3A:91:0E:22:7B", 0, -70), false);
    record.adoptNewIdentity(std::vector<Sighting>{lowEnergy("5C:3A:91:0E:22:7B", 1, -71)});
    record.isConnected = true;
    record.batteryPercent = 80;
    record.identity = {"Apple", DeviceKind::tracker, "AirTag", Certainty::likely, {},
                       {"Battery 80%", "Beacon major 1"}};
    const auto rows = DeviceDetailView::deviceRows(record, at(1), at(125.5), QLocale(QLocale::English));
    ASSERT_EQ(labels(rows), (QStringList{"Type", "Maker", "Distance", "Packets per second", "Heard via",
                                         "Identity changes", "Connected", "Battery", "Detail", "Detail", "First seen",
                                         "Packets"}));
    EXPECT_EQ(rows[0].value, "AirTag (likely)");
    EXPECT_EQ(rows[2].value, "This device doesn't announce its transmit power, so metres can't be estimated.");
    EXPECT_EQ(rows[5].value, "1, kept on this row because the name and broadcast pattern matched");
    EXPECT_EQ(rows[9].value, "Beacon major 1");
    EXPECT_EQ(rows[10].value, "2 min, 5 sec ago");

    Advertisement claimed;
    claimed.txPower = 4;  // one metre at −37, not calibrated
    const DeviceRecord guessed(lowEnergy("A", 0, -60, claimed), false);
    EXPECT_TRUE(DeviceDetailView::deviceRows(guessed, at(1), at(1))[2].value.startsWith(
        QString::fromStdString(guessed.distance()->label()) + ": Unreliable: "));
}

// A refresh of the same device keeps the tab, the scroll and the widgets; another
// device starts on the summary, at the top. The raw tab lists the table's packets.
TEST_F(DetailFixture, KeepsTabAndScrollForTheSameDeviceOnly) {
    std::vector<Sighting> batch;
    for (int i = 0; i < 7; ++i) batch.push_back(lowEnergy("5C:3A:91:0E:22:7B", i, -60 - i));
    batch.push_back(lowEnergy("E4:17:D8:6A:90:31", 0, -70));
    replay.store.table().absorb(std::span<const Sighting>(batch));
    DeviceRecord record = *replay.store.table().record("5C:3A:91:0E:22:7B");
    // Reasons are listed as given, markup as text, repeats kept; enough to scroll.
    record.identity.evidence = {"one", "<b>two</b>", "one", "four", "five"};
    view.resize(420, 260);
    view.show();
    view.showRecord(record);
    auto* scroll = view.findChild<QScrollArea*>("summaryScroll")->verticalScrollBar();
    ASSERT_TRUE(test::waitFor([&] { return scroll->maximum() > 0; }));
    scroll->setValue(scroll->maximum());
    const int scrolled = scroll->value();
    QLabel* typeValue = rows.valueLabel(0);

    // The refresh changes one reason: the list shows it.
    record.absorb(lowEnergy("5C:3A:91:0E:22:7B", 7, -61));
    record.identity.evidence.back() = "six";
    view.showRecord(record);
    test::settle();
    QStringList reasons;
    for (QLabel* label : view.findChild<QWidget*>("whySection")->findChildren<QLabel*>())
        if (!label->text().isEmpty() && label->text() != "Why we think this") reasons << label->text();
    EXPECT_EQ(reasons, (QStringList{"one", "<b>two</b>", "one", "four", "six"}));
    EXPECT_EQ(scroll->value(), scrolled);
    EXPECT_EQ(rows.valueLabel(0), typeValue);
    view.setTab(DeviceDetailView::Tab::raw);
    EXPECT_EQ(text("packetLogTitle"), "Packet log (7 kept, newest first)");
    view.showRecord(record);
    EXPECT_EQ(view.tab(), DeviceDetailView::Tab::raw);

    DeviceRecord other(lowEnergy("OTHER", 0, -60), false);
    other.identity.evidence.clear();
    view.showRecord(other);
    EXPECT_EQ(view.tab(), DeviceDetailView::Tab::summary);
    EXPECT_EQ(scroll->value(), 0);
    EXPECT_FALSE(shows("whySection"));  // no evidence, no reasons
}

// The header is arranged for the record it shows, not the one before: side by side
// when both fit, else stacked flush left 10 apart, a name too long even for that
// cut with "…" and whole in its tooltip.
TEST_F(DetailFixture, HeaderFitsEachRecord) {
    const DeviceRecord keyboard = quietKeyboard();
    const DeviceRecord soundbar(
        lowEnergy("5C:3A:91:0E:22:7B", 0, -60, test::named("Living room soundbar with a name far longer than this")),
        false);
    const struct {
        const DeviceRecord& record;
        int width;
        bool sideBySide;
        bool cut;
    } steps[] = {
        {keyboard, 480, true, false},
        {soundbar, 480, false, true},  // right after a short name, at the same width
        {keyboard, 480, true, false},
        {keyboard, 220, false, true},
    };
    view.show();
    for (const auto& step : steps) {
        view.resize(step.width, 600);
        view.showRecord(step.record);
        const QString full = name.fullText();
        const auto arranged = [&] {
            const QRect button(findButton.mapTo(&view, QPoint()), findButton.size());
            const QRect identity(name.parentWidget()->mapTo(&view, QPoint()), name.parentWidget()->size());
            const bool laidOut = step.sideBySide
                                     ? button.top() < identity.bottom() && button.left() > identity.right()
                                     : button.left() == identity.left() && button.top() == identity.bottom() + 11;
            const QString shown = name.text();
            const bool cut = shown != full && shown.endsWith(QChar(0x2026)) && full.startsWith(shown.chopped(1));
            return laidOut && (step.cut ? cut : shown == full) && button.right() < view.width() &&
                   identity.right() < view.width();
        };
        EXPECT_TRUE(test::waitFor(arranged)) << full.toStdString() << " at " << step.width;
        EXPECT_EQ(name.toolTip().contains(full), step.cut) << full.toStdString();
    }
    EXPECT_EQ(view.width(), 220);  // the header never holds the pane wide
}

// Rows for the fields the advertisement has, in a fixed order, with "—" for the
// four that are always listed.
TEST(RawDataRows, AdvertisementRowsInOrderAndOnlyWhenPresent) {
    Advertisement ad;
    ad.isConnectable = false;
    ad.txPower = -8;
    ad.serviceUUIDs = {"180F", "6E400001-B5A3-F393-E0A9-E50E24DCCA9E"};
    ad.serviceData = {{"FEAA", {0x10, 0xEB}}, {"180F", {0x64}}};
    ad.overflowServiceUUIDs = {"180A"};
    ad.solicitedServiceUUIDs = {"1812"};
    ad.otherFields = {{"zeta", "1"}, {"alpha", "<i>2</i>"}};
    const std::vector<LabelledRow> rows = RawDataView::advertisementRows(ad);
    EXPECT_EQ(labels(rows), (QStringList{"Local name", "Connectable", "Transmit power", "Services",
                                         "Service data 180F (Battery)", "Service data FEAA (Google LLC)",
                                         "Overflow (hashed)", "Solicited services", "alpha", "zeta"}));
    EXPECT_EQ(rows[1].value, "No");
    EXPECT_EQ(rows[2].value, "-8 dBm");
    EXPECT_EQ(rows[3].value, "180F (Battery)\n6E400001-B5A3-F393-E0A9-E50E24DCCA9E");
    EXPECT_EQ(rows[5].value, "10 EB");
    EXPECT_EQ(rows[8].value, "<i>2</i>");
}

TEST(RawDataRows, ManufacturerRowsWithApplesMessages) {
    // Nearby Info, an unknown type, then an element that claims more than is left.
    Advertisement ad;
    ad.manufacturerData = Bytes{0x4C, 0x00, 0x10, 0x02, 0xAA, 0xBB, 0x01, 0x01, 0xCC, 0x0C, 0x09, 0x00};
    EXPECT_EQ(RawDataView::manufacturerRows(ad),
              (std::vector<LabelledRow>{{"Company ID", "0x004C · Apple, Inc."},
                                        {"Payload", "10 02 AA BB 01 01 CC 0C 09 00"},
                                        {"Apple 0x10 · Nearby Info", "AA BB"},
                                        {"Apple 0x01 · Unknown", "CC"}}));

    // Messages are Apple's alone; an unlisted company says so.
    ad.manufacturerData = Bytes{0xFF, 0xFF, 0x10, 0x02, 0xAA, 0xBB};
    EXPECT_EQ(RawDataView::manufacturerRows(ad), (std::vector<LabelledRow>{{"Company ID", "0xFFFF · not registered"},
                                                                           {"Payload", "10 02 AA BB"}}));
}

TEST(PacketRow, SummaryNamesOnlyTheFieldsPresent) {
    EXPECT_EQ(PacketRow{lowEnergy("A", 0, -67)}.rssiText(), "-67 dBm");
    EXPECT_TRUE(PacketRow{lowEnergy("A", 0)}.fieldSummary().isEmpty());
    Advertisement ad;
    ad.localName = "<b>Pods</b>\u202E";
    ad.manufacturerData = Bytes{0x4C, 0x00, 0x10};
    ad.serviceData = {{"FEAA", {0x00}}, {"180F", {0x64}}};
    ad.serviceUUIDs = {"180F", "FEAA"};
    EXPECT_EQ(PacketRow{lowEnergy("A", 0, -50, ad)}.fieldSummary(),
              (QStringList{"name <b>Pods</b>", "mfr 4C 00 10", "svc 180F 64", "svc FEAA 00", "uuids 180F,FEAA"}));
}

TEST(PacketRow, TimeOfDayToTheHundredth) {
    using namespace std::chrono;
    const QLocale english(QLocale::English, QLocale::UnitedStates), german(QLocale::German, QLocale::Germany);
    const Instant time = test::t0 + 5min + 9s + 257ms + 900us;  // 14:05:09.2579 UTC
    EXPECT_EQ(PacketRow::timeText(time, english, QTimeZone::utc()), "2:05:09.25 PM");
    EXPECT_EQ(PacketRow::timeText(time, german, QTimeZone::utc()), "14:05:09,25");
    EXPECT_EQ(PacketRow::timeText(time, english, QTimeZone("Europe/Berlin")), "3:05:09.25 PM");
    // Hundredths are cut, never rounded into the next second.
    EXPECT_EQ(PacketRow::timeText(test::t0 + 59s + 999ms, german, QTimeZone::utc()), "14:00:59,99");
}

// The fields of the packet row at `index`, newest first.
QString fields(const RawDataView& view, int index = 0) {
    return view.findChildren<QWidget*>(QStringLiteral("packetRow")).at(index)->findChildren<QLabel*>().last()->text();
}

// The log lists the newest hundred packets and copies the newest fifty as a fixture.
TEST(RawDataView, ListsAndCopiesTheNewestPackets) {
    std::vector<Sighting> packets;
    for (int i = 0; i < 250; ++i)
        packets.push_back(lowEnergy("5C:3A:91:0E:22:7B", i * 0.25, -40 - i % 50, test::named(std::to_string(i))));
    DeviceRecord record(packets.front(), false);
    RawDataView view;
    view.resize(700, 600);
    view.setContent(record, packets);
    EXPECT_EQ(view.findChild<QLabel*>("packetLogTitle")->text(), "Packet log (250 kept, newest first)");
    ASSERT_EQ(view.findChildren<QWidget*>("packetRow").size(), 100);
    EXPECT_TRUE(fields(view).endsWith("name 249"));
    EXPECT_TRUE(fields(view, 99).endsWith("name 150"));
    auto* copy = view.findChild<QPushButton*>("copyFixture");
    copy->click();
    EXPECT_TRUE(view.copied());
    EXPECT_EQ(copy->text(), "Copied");
    EXPECT_EQ(Fixture::decode(QGuiApplication::clipboard()->text().toStdString()),
              std::vector<Sighting>(packets.begin() + 200, packets.end()));

    // The same device refreshed keeps "Copied" and the place the user scrolled to;
    // another device starts afresh, at the top.
    view.show();
    auto* scroll = view.verticalScrollBar();
    ASSERT_TRUE(test::waitFor([&] { return scroll->maximum() > 1000; }));
    scroll->setValue(1000);
    packets.push_back(lowEnergy("5C:3A:91:0E:22:7B", 70, -45, test::named("250")));
    view.setContent(record, packets);
    test::settle();
    EXPECT_EQ(scroll->value(), 1000);
    EXPECT_TRUE(fields(view).endsWith("name 250"));
    EXPECT_EQ(copy->text(), "Copied");
    view.setContent(DeviceRecord(lowEnergy("OTHER", 0), false), {lowEnergy("OTHER", 0)});
    EXPECT_FALSE(view.copied());
    EXPECT_EQ(copy->text(), "Copy as test fixture");
    EXPECT_EQ(view.findChildren<QWidget*>("packetRow").size(), 1);
    EXPECT_EQ(scroll->value(), 0);

    // A paired device is read from the system: nothing to list or copy.
    view.setContent(DeviceRecord(Sighting(SightingSource::paired, "a4-83-e7-11-22-33", at(0), -45), false), {});
    auto* note = view.findChild<QLabel*>("emptyNote");
    EXPECT_TRUE(note->isVisibleTo(&view));
    EXPECT_EQ(note->text(), "Paired devices are read from the system, not heard as packets.");
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_FALSE(view.copyFixture());
    EXPECT_FALSE(view.findChild<QWidget*>("manufacturerBlock")->isVisibleTo(&view));
    Advertisement apple;
    apple.manufacturerData = Bytes{0x4C, 0x00, 0x10, 0x02, 0xAA, 0xBB};
    view.setContent(DeviceRecord(lowEnergy("5C:3A:91:0E:22:7B", 0, -60, apple), false), {});
    EXPECT_EQ(note->text(), "No packets yet.");
    EXPECT_TRUE(view.findChild<QWidget*>("manufacturerBlock")->isVisibleTo(&view));
}

}  // namespace
}  // namespace quillmote
