// The BlueZ scanner: the pure mapping without a bus, then the scanner against
// python-dbusmock's bluez5 template on a private bus.
#include "app/bluez_scanner.h"
#include "app/device_store.h"
#include "tests/support/private_bus.h"
#include "tests/support/temp_dir.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

namespace quillmote {
namespace {

using namespace std::chrono_literals;
using test::PrivateBusTest;
using test::waitUntil;

Bytes hex(std::string_view text) { return *bytesFromHex(text); }

// ---- the pure mapping ----

TEST(BluezMapping, ServiceUuidTextsTakeTheUpperCaseForm) {
    EXPECT_EQ(bluez::serviceUuidText("0000feaa-0000-1000-8000-00805f9b34fb"), "FEAA");
    EXPECT_EQ(bluez::serviceUuidText("0000180f-0000-1000-8000-00805f9b34fb"), "180F");
    // A 32-bit assigned number has no four-digit form.
    EXPECT_EQ(bluez::serviceUuidText("1234feaa-0000-1000-8000-00805f9b34fb"), "1234FEAA-0000-1000-8000-00805F9B34FB");
    EXPECT_EQ(bluez::serviceUuidText("6e400001-b5a3-f393-e0a9-e50e24dcca9e"), "6E400001-B5A3-F393-E0A9-E50E24DCCA9E");
    EXPECT_EQ(bluez::serviceUuidText("feaa"), "FEAA");
    EXPECT_EQ(bluez::serviceUuidText("not-a-uuid"), "NOT-A-UUID");
}

TEST(BluezMapping, PairedKeysMatchWhateverTheAddressWriting) {
    EXPECT_EQ(bluez::pairedKey("C0:FF:EE:00:00:01"), "c0-ff-ee-00-00-01");
    EXPECT_EQ(bluez::pairedKey("C0-FF-EE-00-00-01"), "c0-ff-ee-00-00-01");
    EXPECT_EQ(bluez::pairedKey(""), "unknown");
    EXPECT_EQ(bluez::addressFromDevicePath("/org/bluez/hci0/dev_C0_FF_EE_00_00_01"), "C0:FF:EE:00:00:01");
    EXPECT_EQ(bluez::addressFromDevicePath("/org/bluez/hci0"), "");
}

TEST(BluezMapping, ManufacturerDataStartsWithTheCompanyLittleEndian) {
    const Bytes data{0x02, 0x15, 0xAA};
    EXPECT_EQ(bluez::manufacturerField(0x004C, data), hex("4C 00 02 15 AA"));
    EXPECT_EQ(bluez::manufacturerField(0x0A59, {}), hex("59 0A"));
}

TEST(BluezMapping, AdapterStates) {
    using enum BluetoothStatus;
    EXPECT_EQ(bluez::adapterStatus(true, std::nullopt), ready);
    EXPECT_EQ(bluez::adapterStatus(false, std::nullopt), poweredOff);
    EXPECT_EQ(bluez::adapterStatus(std::nullopt, std::nullopt), starting);
    EXPECT_EQ(bluez::adapterStatus(true, QStringLiteral("off-blocked")), poweredOff);
    EXPECT_EQ(bluez::adapterStatus(true, QStringLiteral("off")), poweredOff);
    EXPECT_EQ(bluez::adapterStatus(false, QStringLiteral("off-enabling")), resetting);
    EXPECT_EQ(bluez::adapterStatus(true, QStringLiteral("on-disabling")), resetting);
    EXPECT_EQ(bluez::adapterStatus(false, QStringLiteral("on")), ready);
    EXPECT_EQ(bluez::adapterStatus(false, QStringLiteral("sideways")), poweredOff);
    EXPECT_TRUE(bluez::isAccessError(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied")));
    EXPECT_TRUE(bluez::isAccessError(QStringLiteral("org.bluez.Error.NotAuthorized")));
    EXPECT_FALSE(bluez::isAccessError(QStringLiteral("org.bluez.Error.NotReady")));
}

TEST(BluezMapping, ValuesOfTheWrongTypeGiveNothing) {
    EXPECT_EQ(bluez::integerValue(QVariant::fromValue<qint16>(-42)), -42);
    EXPECT_EQ(bluez::integerValue(QVariant::fromValue<uchar>(87)), 87);
    EXPECT_EQ(bluez::integerValue(QVariant(QStringLiteral("-42"))), std::nullopt);
    EXPECT_EQ(bluez::integerValue(QVariant(true)), std::nullopt);
    EXPECT_EQ(bluez::integerValue(QVariant::fromValue<qulonglong>(1ULL << 40)), std::nullopt);
    EXPECT_EQ(bluez::textValue(QVariant(5)), std::nullopt);
    EXPECT_EQ(bluez::boolValue(QVariant(1)), std::nullopt);
    EXPECT_EQ(bluez::manufacturerDataValue(QVariant(QByteArray("\x01\x02"))), std::nullopt);
    EXPECT_TRUE(bluez::serviceDataValue(QVariant(QStringLiteral("x"))).empty());
    EXPECT_TRUE(bluez::uuidListValue(QVariant(7)).empty());
    EXPECT_EQ(bluez::uuidListValue(QVariant(QStringList{QStringLiteral("0000feaa-0000-1000-8000-00805f9b34fb")})),
              std::vector<std::string>{"FEAA"});
}

TEST(BluezMapping, OtherFieldsAreDescribedAsText) {
    EXPECT_EQ(bluez::describe(QVariant(3)), "3");
    EXPECT_EQ(bluez::describe(QVariant::fromValue<qint16>(-7)), "-7");
    EXPECT_EQ(bluez::describe(QVariant(true)), "true");
    EXPECT_EQ(bluez::describe(QVariant(QStringLiteral("public"))), "public");
    EXPECT_EQ(bluez::describe(QVariant(QByteArray("\x0a\xff", 2))), "0A FF");
    EXPECT_EQ(bluez::describe(QVariant(QStringList{QStringLiteral("a"), QStringLiteral("b")})), "[a, b]");
    EXPECT_EQ(bluez::describe(QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/bluez/hci0")))),
              "/org/bluez/hci0");
}

TEST(BluezMapping, PairedSightings) {
    bluez::DeviceState connected;
    connected.address = "00:11:22:33:44:55";
    connected.name = "Headphones";
    connected.paired = true;
    connected.connected = true;
    connected.rssi = -50;
    connected.classOfDevice = 0x240404;
    bluez::DeviceState away = connected;
    away.address = "AA:BB:CC:DD:EE:FF";
    away.connected = false;
    bluez::DeviceState noSignal = connected;
    noSignal.address = "";
    noSignal.rssi = 127;
    const Instant now{};
    // The battery service writes the address with dashes in upper case: the same key.
    const std::map<std::string, int> levels{{bluez::pairedKey("00-11-22-33-44-55"), 87}};
    const auto sightings = bluez::pairedSightings({connected, away, noSignal}, levels, now);
    ASSERT_EQ(sightings.size(), 3u);
    EXPECT_EQ(sightings[0], Sighting(SightingSource::paired, "00-11-22-33-44-55", now, -50, "Headphones", {},
                                     0x240404u, true, 87));
    EXPECT_EQ(sightings[1].deviceKey, "aa-bb-cc-dd-ee-ff");
    EXPECT_EQ(sightings[1].isConnected, false);
    EXPECT_EQ(sightings[1].rssi, std::nullopt);
    EXPECT_EQ(sightings[1].batteryPercent, std::nullopt);
    EXPECT_EQ(sightings[2].deviceKey, "unknown");
    EXPECT_EQ(sightings[2].rssi, std::nullopt);
    EXPECT_TRUE(sightings[2].advertisement.isEmpty());
}

// ---- against the bluez5 mock ----

const QString bluez = QStringLiteral("org.bluez");
const QString adapterPath = QStringLiteral("/org/bluez/hci0");
const QString beaconPath = QStringLiteral("/org/bluez/hci0/dev_C0_FF_EE_00_00_01");
const QString headphonesPath = QStringLiteral("/org/bluez/hci0/dev_00_11_22_33_44_55");

class BluezScannerTest : public PrivateBusTest {
protected:
    std::shared_ptr<SightingBuffer> buffer = std::make_shared<SightingBuffer>();
    std::vector<Sighting> heard;
    std::unique_ptr<BluezScanner> scanner;
    std::mutex statusLock;
    std::vector<BluetoothStatus> statuses;

    void SetUp() override {
        PrivateBusTest::SetUp();
        if (HasFatalFailure())
            return;
        startMock(QStringLiteral("bluez5"), bluez, true);
    }

    void TearDown() override {
        scanner.reset();
        PrivateBusTest::TearDown();
    }

    void startScanner() {
        scanner = std::make_unique<BluezScanner>(BluezScanner::Options{bus->address()});
        scanner->start(buffer, [this](BluetoothStatus status, BluetoothProblem) {
            std::lock_guard guard(statusLock);
            statuses.push_back(status);
        });
        ASSERT_TRUE(waitUntil([&] { return scanner->settled(); }));
    }

    QString call(const QString& path, const QString& method, QStringList arguments = {}) {
        return bus->gdbusCall(QStringList{QStringLiteral("-d"), bluez, QStringLiteral("-o"), path,
                                          QStringLiteral("-m"), method} +
                              arguments);
    }

    // The bluez5 template's adapter hci0, and devices on it.
    void addAdapter() {
        call(QStringLiteral("/"), QStringLiteral("org.bluez.Mock.AddAdapter"),
             {QStringLiteral("hci0"), QStringLiteral("My PC")});
    }
    void addDevice(const QString& address, const QString& name) {
        call(QStringLiteral("/"), QStringLiteral("org.bluez.Mock.AddDevice"), {QStringLiteral("hci0"), address, name});
    }
    void pairDevice(const QString& address, const QString& classOfDevice) {
        call(QStringLiteral("/"), QStringLiteral("org.bluez.Mock.PairDevice"),
             {QStringLiteral("hci0"), address, classOfDevice});
    }

    bool waitForStatus(BluetoothStatus status) {
        return waitUntil([&] { return scanner->status() == status; });
    }

    // Waits until `count` sightings have been heard in all, then a little longer to
    // see that no more come.
    bool hear(std::size_t count, std::chrono::milliseconds limit = 15s) {
        const bool reached = waitUntil([&] {
            for (auto& sighting : buffer->drain()) heard.push_back(std::move(sighting));
            return heard.size() >= count;
        }, limit);
        waitUntil([] { return false; }, 150ms);
        for (auto& sighting : buffer->drain()) heard.push_back(std::move(sighting));
        return reached;
    }

    void emitDeviceChange(const QString& path, const QString& changed) {
        call(path, QStringLiteral("org.freedesktop.DBus.Mock.EmitSignal"),
             {QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
              QStringLiteral("sa{sv}as"), QStringLiteral("[<'org.bluez.Device1'>, <%1>, <@as []>]").arg(changed)});
    }

    std::vector<test::MockCall> adapterCalls() { return test::mockCalls(bus->bus(), bluez, adapterPath); }
};

TEST_F(BluezScannerTest, AnAdapterThatPowersOnBecomesReadyAndDiscoversWithTheFilter) {
    startScanner();
    EXPECT_EQ(scanner->status(), BluetoothStatus::unsupported);
    EXPECT_EQ(scanner->adapter(), std::nullopt);

    addAdapter();
    ASSERT_TRUE(waitForStatus(BluetoothStatus::ready));
    auto adapter = scanner->adapter();
    ASSERT_TRUE(adapter.has_value());
    EXPECT_EQ(adapter->path, adapterPath);
    EXPECT_EQ(adapter->address, QStringLiteral("00:01:02:03:04:05"));
    EXPECT_EQ(adapter->name, QStringLiteral("My PC"));

    ASSERT_TRUE(waitUntil([&] { return adapterCalls().size() >= 2; }));
    auto calls = adapterCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].method, QStringLiteral("SetDiscoveryFilter"));
    const auto filter = qdbus_cast<QVariantMap>(calls[0].args.value(0).value<QDBusArgument>());
    EXPECT_EQ(filter.size(), 2);
    EXPECT_EQ(filter.value(QStringLiteral("Transport")).toString(), QStringLiteral("le"));
    EXPECT_EQ(filter.value(QStringLiteral("DuplicateData")).metaType().id(), QMetaType::Bool);
    EXPECT_TRUE(filter.value(QStringLiteral("DuplicateData")).toBool());
    EXPECT_EQ(calls[1].method, QStringLiteral("StartDiscovery"));

    // Off, then on again: discovery starts again.
    call(adapterPath, QStringLiteral("org.freedesktop.DBus.Mock.UpdateProperties"),
         {QStringLiteral("org.bluez.Adapter1"), QStringLiteral("{'Powered': <false>}")});
    ASSERT_TRUE(waitForStatus(BluetoothStatus::poweredOff));
    call(adapterPath, QStringLiteral("org.freedesktop.DBus.Mock.UpdateProperties"),
         {QStringLiteral("org.bluez.Adapter1"), QStringLiteral("{'Powered': <true>}")});
    ASSERT_TRUE(waitForStatus(BluetoothStatus::ready));
    ASSERT_TRUE(waitUntil([&] { return adapterCalls().size() >= 4; }));
    EXPECT_EQ(adapterCalls()[3].method, QStringLiteral("StartDiscovery"));

    // The experimental PowerState wins over Powered when bluetoothd has it.
    call(adapterPath, QStringLiteral("org.freedesktop.DBus.Mock.AddProperties"),
         {QStringLiteral("org.bluez.Adapter1"), QStringLiteral("{'PowerState': <'on'>}")});
    call(adapterPath, QStringLiteral("org.freedesktop.DBus.Mock.UpdateProperties"),
         {QStringLiteral("org.bluez.Adapter1"), QStringLiteral("{'PowerState': <'on-disabling'>}")});
    ASSERT_TRUE(waitForStatus(BluetoothStatus::resetting));
    call(adapterPath, QStringLiteral("org.freedesktop.DBus.Mock.UpdateProperties"),
         {QStringLiteral("org.bluez.Adapter1"), QStringLiteral("{'PowerState': <'off-blocked'>}")});
    ASSERT_TRUE(waitForStatus(BluetoothStatus::poweredOff));

    // Unplugged: no adapter is left.
    call(QStringLiteral("/"), QStringLiteral("org.bluez.Mock.RemoveAdapter"), {QStringLiteral("hci0")});
    ASSERT_TRUE(waitForStatus(BluetoothStatus::unsupported));
    EXPECT_EQ(scanner->adapter(), std::nullopt);
    std::lock_guard guard(statusLock);
    EXPECT_EQ(statuses, (std::vector<BluetoothStatus>{BluetoothStatus::unsupported, BluetoothStatus::ready,
                                                      BluetoothStatus::poweredOff, BluetoothStatus::ready,
                                                      BluetoothStatus::resetting, BluetoothStatus::poweredOff,
                                                      BluetoothStatus::unsupported}));
}

TEST_F(BluezScannerTest, AdvertisementSignalsAreSightingsAndDaemonStateIsNot) {
    addAdapter();
    startScanner();
    ASSERT_TRUE(waitForStatus(BluetoothStatus::ready));

    // InterfacesAdded: the mock's initial ManufacturerData and ServiceData have the
    // wrong type (aa{qv}, aa{sv}) and are dropped, field by field.
    addDevice(QStringLiteral("C0:FF:EE:00:00:01"), QStringLiteral("Beacon"));
    ASSERT_TRUE(hear(1));
    ASSERT_EQ(heard.size(), 1u);
    Sighting first = heard[0];
    EXPECT_EQ(first.source, SightingSource::lowEnergy);
    EXPECT_EQ(first.deviceKey, "C0:FF:EE:00:00:01");
    EXPECT_EQ(first.rssi, -79);
    EXPECT_EQ(first.cachedName, "Beacon");
    EXPECT_EQ(first.advertisement.localName, "Beacon");
    EXPECT_EQ(first.advertisement.txPower, 0);
    EXPECT_EQ(first.advertisement.manufacturerData, std::nullopt);
    EXPECT_TRUE(first.advertisement.serviceData.empty());
    EXPECT_TRUE(first.advertisement.serviceUUIDs.empty());
    EXPECT_EQ(first.advertisement.isConnectable, std::nullopt);
    // Only what the advertisement carried; bluetoothd's own state (Adapter, Alias,
    // Paired, Trusted, Icon, Modalias…) stays out.
    EXPECT_EQ(first.advertisement.otherFields,
              (std::map<std::string, std::string>{{"AdvertisingData", "[]"}, {"AdvertisingFlags", "[]"}, {"Appearance", "0"}}));
    EXPECT_EQ(first.classOfDevice, std::nullopt);
    EXPECT_EQ(first.isConnected, std::nullopt);

    // Pairing, connecting, renaming and trusting are bluetoothd's chatter, not packets
    // heard: no sighting, but the paired row follows them.
    pairDevice(QStringLiteral("C0:FF:EE:00:00:01"), QStringLiteral("2360324"));
    call(beaconPath, QStringLiteral("org.freedesktop.DBus.Mock.UpdateProperties"),
         {QStringLiteral("org.bluez.Device1"), QStringLiteral("{'Connected': <true>, 'Alias': <'Kitchen'>, "
                                                              "'Trusted': <true>, 'ServicesResolved': <true>}")});
    ASSERT_TRUE(waitUntil([&] {
        const auto paired = scanner->pairedDevices().value_or(std::vector<Sighting>{});
        return paired.size() == 1 && paired[0].isConnected == true && paired[0].classOfDevice == 2360324u;
    }));

    // Manufacturer data, company identifier first. Signals arrive in order, so this is
    // the next sighting only if the chatter above gave none.
    call(beaconPath, QStringLiteral("org.freedesktop.DBus.Properties.Set"),
         {QStringLiteral("org.bluez.Device1"), QStringLiteral("ManufacturerData"),
          QStringLiteral("<{uint16 0x004c: <[byte 0x02, 0x15, 0xaa]>}>")});
    ASSERT_TRUE(hear(2));
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].advertisement.manufacturerData, hex("4C 00 02 15 AA"));
    EXPECT_TRUE(heard[1].advertisement.otherFields.empty());
    EXPECT_EQ(heard[1].cachedName, "Beacon");
    EXPECT_EQ(heard[1].advertisement.localName, std::nullopt);
    EXPECT_EQ(heard[1].rssi, std::nullopt);

    // Service data by the short UUID text.
    call(beaconPath, QStringLiteral("org.freedesktop.DBus.Properties.Set"),
         {QStringLiteral("org.bluez.Device1"), QStringLiteral("ServiceData"),
          QStringLiteral("<{'0000feaa-0000-1000-8000-00805f9b34fb': <[byte 0x10, 0x00]>, "
                         "'6e400001-b5a3-f393-e0a9-e50e24dcca9e': <[byte 0x01]>}>")});
    ASSERT_TRUE(hear(3));
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[2].advertisement.serviceData,
              (std::map<std::string, Bytes>{{"FEAA", hex("10 00")}, {"6E400001-B5A3-F393-E0A9-E50E24DCCA9E", hex("01")}}));

    // A new RSSI with new data in one PropertiesChanged: one more sighting.
    emitDeviceChange(beaconPath,
                     QStringLiteral("{'RSSI': <int16 -61>, 'ManufacturerData': <{uint16 0x0059: <[byte 0x01, 0x02]>}>}"));
    ASSERT_TRUE(hear(4));
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[3].rssi, -61);
    EXPECT_EQ(heard[3].advertisement.manufacturerData, hex("59 00 01 02"));
    EXPECT_TRUE(heard[3].advertisement.otherFields.empty());

    // Scalars through UpdateProperties: UUIDs, transmit power, a new name, rssi 127.
    call(beaconPath, QStringLiteral("org.freedesktop.DBus.Mock.UpdateProperties"),
         {QStringLiteral("org.bluez.Device1"),
          QStringLiteral("{'RSSI': <int16 127>, 'TxPower': <int16 4>, 'Name': <'Beacon 2'>, "
                         "'UUIDs': <['0000180f-0000-1000-8000-00805f9b34fb', '6e400001-b5a3-f393-e0a9-e50e24dcca9e']>}")});
    ASSERT_TRUE(hear(5));
    ASSERT_EQ(heard.size(), 5u);
    EXPECT_EQ(heard[4].rssi, std::nullopt);
    EXPECT_EQ(heard[4].advertisement.txPower, 4);
    EXPECT_EQ(heard[4].advertisement.localName, "Beacon 2");
    EXPECT_EQ(heard[4].cachedName, "Beacon 2");
    EXPECT_EQ(heard[4].advertisement.serviceUUIDs,
              (std::vector<std::string>{"180F", "6E400001-B5A3-F393-E0A9-E50E24DCCA9E"}));

    // Discovery stopping invalidates RSSI: nothing was heard, so no sighting.
    call(beaconPath, QStringLiteral("org.freedesktop.DBus.Mock.EmitSignal"),
         {QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
          QStringLiteral("sa{sv}as"), QStringLiteral("[<'org.bluez.Device1'>, <@a{sv} {}>, <['RSSI']>]")});
    EXPECT_FALSE(hear(6, 500ms));
    EXPECT_EQ(heard.size(), 5u);
}

TEST_F(BluezScannerTest, ValuesOfTheWrongTypeAreDroppedFieldByField) {
    addAdapter();
    addDevice(QStringLiteral("C0:FF:EE:00:00:01"), QStringLiteral("Beacon"));
    startScanner();
    ASSERT_TRUE(waitForStatus(BluetoothStatus::ready));

    emitDeviceChange(beaconPath,
                     QStringLiteral("{'RSSI': <'loud'>, 'TxPower': <'high'>, 'Name': <int32 5>, "
                                    "'ManufacturerData': <{'k': <[byte 0x01]>}>, 'ServiceData': <[1, 2]>, "
                                    "'UUIDs': <[int32 1, 2]>, 'Address': <uint32 7>, 'Paired': <'yes'>, "
                                    "'Class': <'phone'>, 'Weird': <int32 3>}"));
    ASSERT_TRUE(hear(1));
    ASSERT_EQ(heard.size(), 1u);
    const Sighting& odd = heard[0];
    EXPECT_EQ(odd.deviceKey, "C0:FF:EE:00:00:01");  // the address held before
    EXPECT_EQ(odd.rssi, std::nullopt);
    EXPECT_EQ(odd.cachedName, "Beacon");
    EXPECT_EQ(odd.advertisement.localName, std::nullopt);
    EXPECT_EQ(odd.advertisement.txPower, std::nullopt);
    EXPECT_EQ(odd.advertisement.manufacturerData, std::nullopt);
    EXPECT_TRUE(odd.advertisement.serviceData.empty());
    EXPECT_TRUE(odd.advertisement.serviceUUIDs.empty());
    EXPECT_TRUE(odd.advertisement.otherFields.empty());

    // Inside the maps, only the badly typed entries go.
    emitDeviceChange(beaconPath,
                     QStringLiteral("{'ManufacturerData': <{uint16 1: <'text'>, uint16 0x004c: <[byte 0x01]>, "
                                    "uint16 0x0006: <[byte 0x02]>}>, "
                                    "'ServiceData': <{'0000feaa-0000-1000-8000-00805f9b34fb': <int32 4>, "
                                    "'0000fe9f-0000-1000-8000-00805f9b34fb': <[byte 0x07]>}>}"));
    ASSERT_TRUE(hear(2));
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].advertisement.manufacturerData, hex("4C 00 01"));
    EXPECT_EQ(heard[1].advertisement.serviceData, (std::map<std::string, Bytes>{{"FE9F", hex("07")}}));

    // Signals of the wrong shape are ignored whole, and the scanner carries on.
    call(beaconPath, QStringLiteral("org.freedesktop.DBus.Mock.EmitSignal"),
         {QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"), QStringLiteral("sas"),
          QStringLiteral("[<'org.bluez.Device1'>, <['RSSI']>]")});
    call(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Mock.EmitSignal"),
         {QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("InterfacesAdded"), QStringLiteral("oa{sv}"),
          QStringLiteral("[<objectpath '%1'>, <{'org.bluez.Device1': <7>}>]").arg(beaconPath)});
    call(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Mock.EmitSignal"),
         {QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("InterfacesAdded"),
          QStringLiteral("oa{sa{sv}}"),
          QStringLiteral("[<objectpath '%1'>, <{'org.bluez.Battery1': {'Percentage': <'full'>}}>]").arg(beaconPath)});
    emitDeviceChange(beaconPath, QStringLiteral("{'RSSI': <int16 -70>}"));
    ASSERT_TRUE(hear(3));
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[2].rssi, -70);
    EXPECT_EQ(scanner->status(), BluetoothStatus::ready);
}

TEST_F(BluezScannerTest, PairedDevicesWithBatteryAndClass) {
    addAdapter();
    startScanner();
    ASSERT_TRUE(waitForStatus(BluetoothStatus::ready));
    auto none = scanner->pairedDevices();
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());

    addDevice(QStringLiteral("00:11:22:33:44:55"), QStringLiteral("Headphones"));
    pairDevice(QStringLiteral("00:11:22:33:44:55"), QStringLiteral("2360324"));
    call(headphonesPath, QStringLiteral("org.freedesktop.DBus.Mock.UpdateProperties"),
         {QStringLiteral("org.bluez.Device1"), QStringLiteral("{'Connected': <true>, 'RSSI': <int16 -50>}")});
    call(headphonesPath, QStringLiteral("org.freedesktop.DBus.Mock.AddProperties"),
         {QStringLiteral("org.bluez.Battery1"), QStringLiteral("{'Percentage': <byte 87>}")});
    call(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Mock.EmitSignal"),
         {QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("InterfacesAdded"),
          QStringLiteral("oa{sa{sv}}"),
          QStringLiteral("[<objectpath '%1'>, <{'org.bluez.Battery1': {'Percentage': <byte 87>}}>]").arg(headphonesPath)});

    ASSERT_TRUE(waitUntil([&] { return scanner->batteryLevelsByAddress().size() == 1; }));
    EXPECT_EQ(scanner->batteryLevelsByAddress(), (std::map<std::string, int>{{"00-11-22-33-44-55", 87}}));
    auto paired = scanner->pairedDevices();
    ASSERT_TRUE(paired.has_value());
    ASSERT_EQ(paired->size(), 1u);
    const Sighting& row = paired->front();
    EXPECT_EQ(row.source, SightingSource::paired);
    EXPECT_EQ(row.deviceKey, "00-11-22-33-44-55");
    EXPECT_EQ(row.classOfDevice, 2360324u);
    EXPECT_EQ(row.isConnected, true);
    EXPECT_EQ(row.rssi, -50);
    EXPECT_EQ(row.batteryPercent, 87);
    EXPECT_EQ(row.cachedName, "Headphones");
    EXPECT_TRUE(row.advertisement.isEmpty());

    // The battery goes away on its own: the device stays paired.
    call(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Mock.EmitSignal"),
         {QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("InterfacesRemoved"), QStringLiteral("oas"),
          QStringLiteral("[<objectpath '%1'>, <['org.bluez.Battery1']>]").arg(headphonesPath)});
    ASSERT_TRUE(waitUntil([&] { return scanner->batteryLevelsByAddress().empty(); }));
    paired = scanner->pairedDevices();
    ASSERT_EQ(paired->size(), 1u);
    EXPECT_EQ(paired->front().batteryPercent, std::nullopt);

    // Disconnected: no rssi. Removed: gone.
    call(headphonesPath, QStringLiteral("org.freedesktop.DBus.Mock.UpdateProperties"),
         {QStringLiteral("org.bluez.Device1"), QStringLiteral("{'Connected': <false>}")});
    ASSERT_TRUE(waitUntil([&] { return scanner->pairedDevices()->front().isConnected == false; }));
    EXPECT_EQ(scanner->pairedDevices()->front().rssi, std::nullopt);
    call(adapterPath, QStringLiteral("org.bluez.Adapter1.RemoveDevice"), {QStringLiteral("objectpath '%1'").arg(headphonesPath)});
    ASSERT_TRUE(waitUntil([&] { return scanner->pairedDevices()->empty(); }));
}

// The store as the window and `run` use it: the radio's rows, paired ones included.
TEST_F(BluezScannerTest, TheStoreListsWhatTheScannerHears) {
    addAdapter();
    test::TempDir dir;
    const LaunchSettings settings(
        QStringList{"-historyPath", QString::fromStdString((dir.path() / "history").string())},
        std::make_unique<QSettings>(QString::fromStdString((dir.path() / "s.ini").string()), QSettings::IniFormat));
    const QDBusConnection noBus(QStringLiteral("quillmote-store-no-bus"));
    DeviceStore store(settings, Calendar("UTC", "en_US"), DeviceStore::Buses{noBus, noBus});
    const QString address = bus->address();
    store.setScannerFactory([address] { return std::make_unique<BluezScanner>(BluezScanner::Options{address}); });
    store.start();
    ASSERT_TRUE(waitUntil([&] { return store.status() == BluetoothStatus::ready; }));

    addDevice(QStringLiteral("C0:FF:EE:00:00:01"), QStringLiteral("Beacon"));
    call(QStringLiteral("/org/bluez/hci0/dev_C0_FF_EE_00_00_01"), QStringLiteral("org.freedesktop.DBus.Properties.Set"),
         {QStringLiteral("org.bluez.Device1"), QStringLiteral("ManufacturerData"),
          QStringLiteral("<{uint16 0x004c: <[byte 0x02, 0x15, 0xaa]>}>")});
    addDevice(QStringLiteral("00:11:22:33:44:55"), QStringLiteral("Headphones"));
    pairDevice(QStringLiteral("00:11:22:33:44:55"), QStringLiteral("2360324"));
    call(headphonesPath, QStringLiteral("org.freedesktop.DBus.Mock.AddProperties"),
         {QStringLiteral("org.bluez.Battery1"), QStringLiteral("{'Percentage': <byte 64>}")});
    call(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Mock.EmitSignal"),
         {QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("InterfacesAdded"),
          QStringLiteral("oa{sa{sv}}"),
          QStringLiteral("[<objectpath '%1'>, <{'org.bluez.Battery1': {'Percentage': <byte 64>}}>]").arg(headphonesPath)});

    ASSERT_TRUE(waitUntil([&] {
        const auto beacon = store.record(std::string("C0:FF:EE:00:00:01"));
        const auto headphones = store.record(std::string("00-11-22-33-44-55"));
        return beacon && beacon->advertisement.manufacturerData && headphones && headphones->batteryPercent;
    }));
    EXPECT_EQ(store.record(std::string("C0:FF:EE:00:00:01"))->identity.maker, "Apple");
    const auto headphones = store.record(std::string("00-11-22-33-44-55"));
    EXPECT_EQ(headphones->source, SightingSource::paired);
    EXPECT_EQ(headphones->batteryPercent, 64);
    EXPECT_EQ(headphones->classOfDevice, 2360324u);

    // Powered off: the store says so.
    call(adapterPath, QStringLiteral("org.freedesktop.DBus.Mock.UpdateProperties"),
         {QStringLiteral("org.bluez.Adapter1"), QStringLiteral("{'Powered': <false>}")});
    EXPECT_TRUE(waitUntil([&] { return store.status() == BluetoothStatus::poweredOff; }));
}

TEST_F(BluezScannerTest, SurvivesBluetoothdLeavingAndComingBack) {
    addAdapter();
    addDevice(QStringLiteral("00:11:22:33:44:55"), QStringLiteral("Headphones"));
    pairDevice(QStringLiteral("00:11:22:33:44:55"), QStringLiteral("7936"));
    startScanner();
    ASSERT_TRUE(waitForStatus(BluetoothStatus::ready));
    // Devices already known when the scanner starts are read from the object tree, not heard.
    ASSERT_TRUE(waitUntil([&] { return scanner->pairedDevices().value_or(std::vector<Sighting>{}).size() == 1; }));
    EXPECT_TRUE(buffer->drain().empty());

    bus->stopMocks();
    ASSERT_TRUE(waitForStatus(BluetoothStatus::starting));
    EXPECT_EQ(scanner->pairedDevices(), std::nullopt);
    EXPECT_EQ(scanner->adapter(), std::nullopt);

    startMock(QStringLiteral("bluez5"), bluez, true);
    ASSERT_TRUE(waitForStatus(BluetoothStatus::unsupported));
    addAdapter();
    ASSERT_TRUE(waitForStatus(BluetoothStatus::ready));
    // The new bluetoothd knows nothing of the old discovery session: it is started again.
    ASSERT_TRUE(waitUntil([&] { return adapterCalls().size() >= 2; }));
    EXPECT_EQ(adapterCalls()[1].method, QStringLiteral("StartDiscovery"));
    addDevice(QStringLiteral("C0:FF:EE:00:00:01"), QStringLiteral("Beacon"));
    ASSERT_TRUE(hear(1));
    EXPECT_EQ(heard.at(0).deviceKey, "C0:FF:EE:00:00:01");
}

TEST_F(BluezScannerTest, ADiscoveryRefusedForAccessIsNotAllowed) {
    addAdapter();
    call(adapterPath, QStringLiteral("org.freedesktop.DBus.Mock.AddMethod"),
         {QStringLiteral("org.bluez.Adapter1"), QStringLiteral("StartDiscovery"), QString(), QString(),
          QStringLiteral("raise dbus.exceptions.DBusException('no', name='org.freedesktop.DBus.Error.AccessDenied')")});
    startScanner();
    ASSERT_TRUE(waitForStatus(BluetoothStatus::notAllowed));
}

// The store's settings in a temporary folder, with `extra` launch arguments.
LaunchSettings settingsIn(const test::TempDir& dir, QStringList extra = {}) {
    return LaunchSettings(
        QStringList{"-historyPath", QString::fromStdString((dir.path() / "history").string())} + extra,
        std::make_unique<QSettings>(QString::fromStdString((dir.path() / "s.ini").string()), QSettings::IniFormat));
}

const QDBusConnection noBus(QStringLiteral("quillmote-store-no-bus"));

// A replay still lists the computer's real paired devices, read through BlueZ without
// discovery; what BlueZ hears meanwhile is not mixed into the replay, and the
// capture's own paired row is left alone.
TEST_F(BluezScannerTest, AReplayReadsThePairedDevicesAndHearsNothing) {
    addAdapter();
    addDevice(QStringLiteral("00:11:22:33:44:55"), QStringLiteral("Headphones"));
    pairDevice(QStringLiteral("00:11:22:33:44:55"), QStringLiteral("2360324"));
    test::TempDir dir;
    const LaunchSettings settings =
        settingsIn(dir, {"-replayPath", QStringLiteral(QUILLMOTE_TEST_DATA "/sample-capture.json")});
    DeviceStore store(settings, Calendar("UTC", "en_US"), DeviceStore::Buses{noBus, noBus});
    const QString address = bus->address();
    store.setScannerFactory([address] { return std::make_unique<BluezScanner>(BluezScanner::Options{address}); });
    store.start();
    ASSERT_TRUE(waitUntil([&] { return store.record(std::string("00-11-22-33-44-55")).has_value(); }));

    // An advertisement, then a change the paired row shows. Signals arrive in order, so
    // once the row shows it the advertisement has been dealt with; the publish after
    // that has drained whatever it left in the buffer.
    emitDeviceChange(headphonesPath,
                     QStringLiteral("{'RSSI': <int16 -40>, 'ManufacturerData': <{uint16 0x004c: <[byte 0x01]>}>}"));
    call(headphonesPath, QStringLiteral("org.freedesktop.DBus.Mock.UpdateProperties"),
         {QStringLiteral("org.bluez.Device1"), QStringLiteral("{'Connected': <true>}")});
    ASSERT_TRUE(waitUntil([&] { return store.record(std::string("00-11-22-33-44-55"))->isConnected == true; }));
    const Instant shownAt = store.publishedAt();
    ASSERT_TRUE(waitUntil([&] { return store.publishedAt() != shownAt; }));

    EXPECT_EQ(store.record(std::string("00-11-22-33-44-55"))->source, SightingSource::paired);
    EXPECT_FALSE(store.record(std::string("00:11:22:33:44:55")));
    EXPECT_TRUE(store.record(std::string("a4-83-e7-11-22-33")));  // the capture's keyboard
    EXPECT_EQ(store.status(), BluetoothStatus::ready);
    for (const auto& made : adapterCalls()) EXPECT_FALSE(made.method.contains(QStringLiteral("Discovery")));
}

// No system bus, then a bus without bluetoothd: the store says why once that has
// lasted a while, carries on by itself when BlueZ appears, and notices a bus that goes.
TEST(BluezProblems, AreToldAndGoAwayWhenBluezAppears) {
    test::TempDir dir;
    const LaunchSettings settings = settingsIn(dir);
    const QString busAddress = QStringLiteral("unix:path=") + QString::fromStdString((dir.path() / "bus").string());
    DeviceStore store(settings, Calendar("UTC", "en_US"), DeviceStore::Buses{noBus, noBus});
    store.setScannerFactory([busAddress] {
        return std::make_unique<BluezScanner>(BluezScanner::Options{busAddress, 100ms, 50ms});
    });
    std::vector<BluetoothProblem> told;
    QObject::connect(&store, &DeviceStore::statusChanged, [&] {
        if (told.empty() || told.back() != store.problem()) told.push_back(store.problem());
    });
    store.start();
    ASSERT_TRUE(waitUntil([&] { return store.problem() == BluetoothProblem::noSystemBus; }));
    EXPECT_EQ(store.status(), BluetoothStatus::starting);

    auto bus = std::make_unique<test::PrivateBus>(busAddress);
    ASSERT_TRUE(bus->error().isEmpty()) << bus->error().toStdString();
    ASSERT_TRUE(waitUntil([&] { return store.problem() == BluetoothProblem::noBluetoothService; }));

    const QString mockError = bus->startMock(QStringLiteral("bluez5"), bluez, true);
    ASSERT_TRUE(mockError.isEmpty()) << mockError.toStdString();
    ASSERT_TRUE(waitUntil([&] { return store.status() == BluetoothStatus::unsupported; }));
    EXPECT_EQ(store.problem(), BluetoothProblem::none);

    bus.reset();
    ASSERT_TRUE(waitUntil([&] { return store.problem() == BluetoothProblem::noSystemBus; }));
    EXPECT_EQ(store.status(), BluetoothStatus::starting);
    EXPECT_EQ(told, (std::vector<BluetoothProblem>{BluetoothProblem::noSystemBus, BluetoothProblem::noBluetoothService,
                                                   BluetoothProblem::none, BluetoothProblem::noSystemBus}));
}

}  // namespace
}  // namespace quillmote
