#include "ui/raw_data_view.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>

#include "core/sightings/fixture.h"
#include "tests/support/sightings.h"
#include "tests/ui/ui_support.h"

namespace quillmote {
namespace {

using test::at;
using test::lowEnergy;

QStringList labels(const std::vector<LabelledRow>& rows) {
    QStringList out;
    for (const LabelledRow& row : rows) out << row.label;
    return out;
}

QString valueOf(const std::vector<LabelledRow>& rows, const QString& label) {
    for (const LabelledRow& row : rows)
        if (row.label == label) return row.value;
    return QStringLiteral("<no row>");
}

TEST(RawDataRows, AdvertisementRowsInOrderAndOnlyWhenPresent) {
    const std::vector<LabelledRow> bare = RawDataView::advertisementRows(Advertisement{});
    EXPECT_EQ(labels(bare), (QStringList{"Local name", "Connectable", "Transmit power", "Services"}));
    for (const LabelledRow& row : bare) EXPECT_EQ(row.value, "—") << row.label.toStdString();

    Advertisement ad;
    ad.localName = "Thermo";
    ad.isConnectable = false;
    ad.txPower = -8;
    ad.serviceUUIDs = {"180F", "6E400001-B5A3-F393-E0A9-E50E24DCCA9E"};
    ad.serviceData = {{"FEAA", {0x10, 0xEB}}, {"180F", {0x64}}};
    ad.solicitedServiceUUIDs = {"1812"};
    ad.otherFields = {{"zeta", "1"}, {"alpha", "<i>2</i>"}};
    const std::vector<LabelledRow> rows = RawDataView::advertisementRows(ad);
    // No overflow row for an empty overflow list; service data and other fields by key.
    EXPECT_EQ(labels(rows), (QStringList{"Local name", "Connectable", "Transmit power", "Services",
                                         "Service data 180F (Battery)", "Service data FEAA (Google LLC)", "Solicited services",
                                         "alpha", "zeta"}));
    EXPECT_EQ(valueOf(rows, "Connectable"), "No");
    EXPECT_EQ(valueOf(rows, "Transmit power"), "-8 dBm");
    EXPECT_EQ(valueOf(rows, "Services"), "180F (Battery)\n6E400001-B5A3-F393-E0A9-E50E24DCCA9E");
    EXPECT_EQ(valueOf(rows, "Service data 180F (Battery)"), "64");
    EXPECT_EQ(valueOf(rows, "Service data FEAA (Google LLC)"), "10 EB");
    EXPECT_EQ(valueOf(rows, "alpha"), "<i>2</i>");

    ad.overflowServiceUUIDs = {"180A"};
    EXPECT_EQ(valueOf(RawDataView::advertisementRows(ad), "Overflow (hashed)"), "180A (Device Information)");
}

TEST(RawDataRows, ManufacturerRowsWithApplesMessages) {
    Advertisement ad;
    ad.manufacturerData = Bytes{0x4C};  // no company identifier: no block at all
    EXPECT_TRUE(RawDataView::manufacturerRows(ad).empty());
    ad.manufacturerData.reset();
    EXPECT_TRUE(RawDataView::manufacturerRows(ad).empty());

    ad.manufacturerData = Bytes{0x4C, 0x00};
    std::vector<LabelledRow> rows = RawDataView::manufacturerRows(ad);
    ASSERT_EQ(labels(rows), (QStringList{"Company ID", "Payload"}));
    EXPECT_EQ(rows[0].value, "0x004C · Apple, Inc.");
    EXPECT_EQ(rows[1].value, "");

    // Nearby Info, an unknown type, then an element that claims more than is left.
    ad.manufacturerData = Bytes{0x4C, 0x00, 0x10, 0x02, 0xAA, 0xBB, 0x01, 0x01, 0xCC, 0x0C, 0x09, 0x00};
    rows = RawDataView::manufacturerRows(ad);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].value, "10 02 AA BB 01 01 CC 0C 09 00");
    EXPECT_EQ(rows[2].label, "Apple 0x10 · Nearby Info");
    EXPECT_EQ(rows[2].value, "AA BB");
    EXPECT_EQ(rows[3].label, "Apple 0x01 · Unknown");
    EXPECT_EQ(rows[3].value, "CC");

    // Messages are Apple's alone; an unlisted company says so.
    ad.manufacturerData = Bytes{0xFF, 0xFF, 0x10, 0x02, 0xAA, 0xBB};
    rows = RawDataView::manufacturerRows(ad);
    EXPECT_EQ(labels(rows), (QStringList{"Company ID", "Payload"}));
    EXPECT_EQ(rows[0].value, "0xFFFF · not registered");
}

TEST(RawDataRows, IdentifierTitleByWhatWasHeard) {
    DeviceRecord lowEnergyRecord(lowEnergy("5C:3A:91:0E:22:7B", 0), false);
    EXPECT_EQ(RawDataView::identifierRows(lowEnergyRecord),
              (std::vector<LabelledRow>{{"Address (as this computer hears it)", "5C:3A:91:0E:22:7B"}}));

    Sighting keyboard(SightingSource::paired, "a4-83-e7-11-22-33", at(0), std::nullopt, "Sam's Keyboard");
    EXPECT_EQ(RawDataView::identifierRows(DeviceRecord(keyboard, false)),
              (std::vector<LabelledRow>{{"Address", "a4-83-e7-11-22-33"},
                                        {"Name the system remembers", "Sam's Keyboard"}}));

    Sighting beacon = lowEnergy("iBeacon-x", 0);
    beacon.rangedBeacon = RangedBeacon::make(*Uuid::fromText("E2C56DB5-DFFB-48D2-B060-D0F5A71096E0"), 1, 2, 2.0);
    EXPECT_EQ(RawDataView::identifierTitle(DeviceRecord(beacon, false)), "Beacon ID");
}

TEST(PacketRow, SummaryNamesOnlyTheFieldsPresent) {
    EXPECT_EQ(PacketRow{lowEnergy("A", 0, std::nullopt, test::named("Kettle"))}.fieldSummary(),
              QStringList{"name Kettle"});
    EXPECT_EQ(PacketRow{lowEnergy("A", 0, std::nullopt)}.rssiText(), "no reading");
    EXPECT_EQ(PacketRow{lowEnergy("A", 0, -67)}.rssiText(), "-67 dBm");
    EXPECT_TRUE(PacketRow{lowEnergy("A", 0)}.fieldSummary().isEmpty());

    Advertisement ad;
    ad.localName = "<b>Pods</b>\u202E";
    ad.manufacturerData = Bytes{0x4C, 0x00, 0x10};
    ad.serviceData = {{"FEAA", {0x00}}, {"180F", {0x64}}};
    ad.serviceUUIDs = {"180F", "FEAA"};
    ad.txPower = 4;
    ad.isConnectable = true;
    ad.overflowServiceUUIDs = {"1800"};
    EXPECT_EQ(PacketRow{lowEnergy("A", 0, -50, ad)}.fieldSummary(),
              (QStringList{"name <b>Pods</b>", "mfr 4C 00 10", "svc 180F 64", "svc FEAA 00", "uuids 180F,FEAA"}));
}

TEST(PacketRow, TimeOfDayToTheHundredth) {
    using namespace std::chrono;
    const QTimeZone utc = QTimeZone::utc();
    const Instant time = test::t0 + 5min + 9s + 257ms + 900us;  // 14:05:09.2579 UTC
    EXPECT_EQ(PacketRow::timeText(time, QLocale(QLocale::English, QLocale::UnitedStates), utc), "2:05:09.25 PM");
    EXPECT_EQ(PacketRow::timeText(time, QLocale(QLocale::German, QLocale::Germany), utc), "14:05:09,25");
    EXPECT_EQ(PacketRow::timeText(time, QLocale(QLocale::English, QLocale::UnitedStates), QTimeZone("Europe/Berlin")),
              "3:05:09.25 PM");
    // Hundredths are cut, never rounded into the next second.
    EXPECT_EQ(PacketRow::timeText(test::t0 + 59s + 999ms, QLocale(QLocale::German, QLocale::Germany), utc),
              "14:00:59,99");
}

// 250 packets of one device, each named by its number.
std::vector<Sighting> numberedPackets(int count) {
    std::vector<Sighting> packets;
    for (int i = 0; i < count; ++i)
        packets.push_back(lowEnergy("5C:3A:91:0E:22:7B", i * 0.25, -40 - i % 50, test::named(std::to_string(i))));
    return packets;
}

QList<QWidget*> packetRows(const RawDataView& view) {
    return view.findChildren<QWidget*>(QStringLiteral("packetRow"));
}

TEST(RawDataView, ListsTheNewestHundredAndCopiesTheNewestFifty) {
    const std::vector<Sighting> packets = numberedPackets(250);
    DeviceRecord record(packets.front(), false);
    for (std::size_t i = 1; i < packets.size(); ++i) record.absorb(packets[i]);

    RawDataView view;
    view.resize(700, 600);
    view.setContent(record, packets);
    EXPECT_EQ(view.findChild<QLabel*>("packetLogTitle")->text(), "Packet log (250 kept, newest first)");
    const QList<QWidget*> rows = packetRows(view);
    ASSERT_EQ(rows.size(), 100);
    EXPECT_TRUE(rows.front()->findChildren<QLabel*>().last()->text().endsWith("name 249"));
    EXPECT_TRUE(rows.back()->findChildren<QLabel*>().last()->text().endsWith("name 150"));
    EXPECT_FALSE(view.findChild<QLabel*>("emptyNote")->isVisibleTo(&view));

    auto* copy = view.findChild<QPushButton*>("copyFixture");
    ASSERT_TRUE(copy->isEnabled());
    EXPECT_EQ(copy->text(), "Copy as test fixture");
    QGuiApplication::clipboard()->setText("before");
    copy->click();
    EXPECT_TRUE(view.copied());
    EXPECT_EQ(copy->text(), "Copied");
    const std::vector<Sighting> copied = Fixture::decode(QGuiApplication::clipboard()->text().toStdString());
    EXPECT_EQ(copied, std::vector<Sighting>(packets.begin() + 200, packets.end()));

    // The same device refreshed keeps "Copied" and the place the user scrolled to;
    // another device starts afresh, at the top.
    view.show();
    auto* scroll = view.verticalScrollBar();
    ASSERT_TRUE(test::waitFor([&] { return scroll->maximum() > 1000; }));
    scroll->setValue(1000);
    std::vector<Sighting> more = packets;
    more.push_back(lowEnergy("5C:3A:91:0E:22:7B", 70, -45, test::named("250")));
    record.absorb(more.back());
    view.setContent(record, more);
    QCoreApplication::processEvents();
    EXPECT_EQ(scroll->value(), 1000);
    EXPECT_TRUE(packetRows(view).front()->findChildren<QLabel*>().last()->text().endsWith("name 250"));
    EXPECT_EQ(copy->text(), "Copied");
    DeviceRecord other(lowEnergy("OTHER", 0), false);
    view.setContent(other, {lowEnergy("OTHER", 0)});
    EXPECT_FALSE(view.copied());
    EXPECT_EQ(copy->text(), "Copy as test fixture");
    EXPECT_EQ(packetRows(view).size(), 1);
    EXPECT_EQ(scroll->value(), 0);
}

TEST(RawDataView, APairedDeviceHasNoPacketsToCopy) {
    Sighting keyboard(SightingSource::paired, "a4-83-e7-11-22-33", at(0), -45, "Sam's Keyboard");
    RawDataView view;
    view.setContent(DeviceRecord(keyboard, false), {});
    auto* note = view.findChild<QLabel*>("emptyNote");
    EXPECT_TRUE(note->isVisibleTo(&view));
    EXPECT_EQ(note->text(), "Paired devices are read from the system, not heard as packets.");
    auto* copy = view.findChild<QPushButton*>("copyFixture");
    EXPECT_FALSE(copy->isEnabled());
    QGuiApplication::clipboard()->setText("untouched");
    EXPECT_FALSE(view.copyFixture());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "untouched");
    EXPECT_FALSE(view.copied());
    EXPECT_TRUE(packetRows(view).isEmpty());
    EXPECT_FALSE(view.findChild<QWidget*>("manufacturerBlock")->isVisibleTo(&view));

    view.setContent(DeviceRecord(lowEnergy("5C:3A:91:0E:22:7B", 0), false), {});
    EXPECT_EQ(note->text(), "No packets yet.");
}

TEST(RawDataView, ShowsAnAppleDeviceAsHeard) {
    const std::vector<Sighting> capture = Fixture::decodeFile(test::testData + "/sample-capture.json");
    std::vector<Sighting> packets;
    for (const Sighting& sighting : capture)
        if (sighting.deviceKey == "E4:17:D8:6A:90:31") packets.push_back(sighting);
    ASSERT_FALSE(packets.empty());
    Advertisement hostile;
    hostile.localName = "<b>AirPods</b>\u202Etxt.exe";
    packets.push_back(lowEnergy("E4:17:D8:6A:90:31", 0, -62, hostile));
    packets.back().time = packets.front().time + std::chrono::seconds(1);
    DeviceRecord record(packets.front(), false);
    for (std::size_t i = 1; i < packets.size(); ++i) record.absorb(packets[i]);

    RawDataView view;
    view.resize(720, 760);
    view.setContent(record, packets);
    EXPECT_TRUE(view.findChild<QWidget*>("manufacturerBlock")->isVisibleTo(&view));
    auto* advertisement = view.findChild<RowGrid*>("advertisementRows");
    // Markup stays literal and the bidi override is gone.
    EXPECT_EQ(advertisement->valueLabel(0)->text(), "<b>AirPods</b>txt.exe");
    EXPECT_EQ(advertisement->valueLabel(0)->textFormat(), Qt::PlainText);
    auto* manufacturer = view.findChild<RowGrid*>("manufacturerRows");
    EXPECT_EQ(manufacturer->rows().at(2).label, "Apple 0x07 · Proximity pairing");
    test::saveScreenshot(view, "raw-data-view");
}

}  // namespace
}  // namespace quillmote
