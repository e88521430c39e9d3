// The BlueZ scanner: the pure mapping without a bus, then the scanner against
// python-dbusmock's bluez5 template on a private bus.
#include "app/bluez_scanner.h"
#include "tests/support/app_setup.h"
#include "tests/support/private_bus.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Expected advertisements name only the fields they have; the rest stay empty on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace quillmote {
namespace {

using namespace std::chrono_literals;
using test::waitUntil;

Bytes hex(std::string_view text) { return *bytesFromHex(text); }

// ---- the pure mapping ----

TEST(BluezMapping, UuidTextsKeysStatusesAndOtherValues) {
    // A 32-bit assigned number has no four-digit form.
    EXPECT_EQ(bluez::serviceUuidText("1234feaa-0000-1000-8000-00805f9b34fb"), "1234FEAA-0000-1000-8000-00805F9B34FB");
    EXPECT_EQ(bluez::serviceUuidText("not-a-uuid"), "NOT-A-UUID");
    EXPECT_EQ(bluez::pairedKey("C0:FF:EE:00:00:01"), "c0-ff-ee-00-00-01");
    EXPECT_EQ(bluez::pairedKey(""), "unknown");
    EXPECT_EQ(bluez::addressFromDevicePath("/org/bluez/hci0/dev_C0_FF_EE_00_00_01"), "C0:FF:EE:00:00:01");
    EXPECT_EQ(bluez::addressFromDevicePath("/org/bluez/hci0"), "");
    EXPECT_EQ(bluez::manufacturerField(0x0A59, {}), hex("59 0A"));

    using enum BluetoothStatus;
    EXPECT_EQ(bluez::adapterStatus(std::nullopt, std::nullopt), starting);
    // The experimental PowerState wins over Powered when bluetoothd has it.
    EXPECT_EQ(bluez::adapterStatus(true, "off"), poweredOff);
    EXPECT_EQ(bluez::adapterStatus(false, "off-enabling"), resetting);
    EXPECT_EQ(bluez::adapterStatus(false, "on"), ready);
    EXPECT_EQ(bluez::adapterStatus(false, "sideways"), poweredOff);
    EXPECT_TRUE(bluez::isAccessError("org.bluez.Error.NotAuthorized"));
    EXPECT_FALSE(bluez::isAccessError("org.bluez.Error.NotReady"));
    for (auto status : {starting, ready, poweredOff, notAllowed, unsupported, resetting})
        EXPECT_EQ(bluetoothStatusFromName(name(status)), status);
    EXPECT_EQ(name(poweredOff), "poweredOff");
    EXPECT_FALSE(bluetoothStatusFromName("Ready"));
}

// ---- against the bluez5 mock ----

const QString adapterPath = "/org/bluez/hci0";
const QString beaconPath = "/org/bluez/hci0/dev_C0_FF_EE_00_00_01";
const QString headphonesPath = "/org/bluez/hci0/dev_00_11_22_33_44_55";
const std::string beacon = "C0:FF:EE:00:00:01";
const std::string headphones = "00-11-22-33-44-55";  // its paired key

class BluezScannerTest : public test::PrivateBusTest {
protected:
    std::shared_ptr<SightingBuffer> buffer = std::make_shared<SightingBuffer>();
    std::unique_ptr<BluezScanner> scanner;

    void SetUp() override { ASSERT_TRUE(bus->startMock("bluez5", "org.bluez", true)); }

    void startScanner() {
        scanner = std::make_unique<BluezScanner>(BluezScanner::Options{bus->address()});
        scanner->start(buffer, {});
        ASSERT_TRUE(waitUntil([&] { return scanner->settled(); }));
    }

    bool waitForStatus(BluetoothStatus status) {
        return waitUntil([&] { return scanner->status() == status; });
    }

    // Calls on the mock's objects, arguments in gdbus's text form; the mock signals
    // every change as bluetoothd would.
    void call(const QString& path, const QString& method, const QStringList& arguments = {}) {
        bus->call("org.bluez", path, method, arguments);
    }
    // The template's own set-up calls, on its adapter hci0.
    void mock(const QString& method, const QStringList& arguments = {}) {
        call("/", "org.bluez.Mock." + method, QStringList{"hci0"} + arguments);
    }
    // A signal in whatever shape it is given.
    void emitSignal(const QString& path, const QString& name, const QString& signature, const QString& arguments) {
        const QString interface = name.startsWith("Interfaces") ? "org.freedesktop.DBus.ObjectManager"
                                                                : "org.freedesktop.DBus.Properties";
        call(path, "org.freedesktop.DBus.Mock.EmitSignal", {interface, name, signature, arguments});
    }
    void change(const QString& path, const QString& changed, const QString& interface = "org.bluez.Device1",
                const QString& invalidated = "@as []") {
        emitSignal(path, "PropertiesChanged", "sa{sv}as",
                   QStringLiteral("[<'%1'>, <%2>, <%3>]").arg(interface, changed, invalidated));
    }
    void interfacesAdded(const QString& path, const QString& signature, const QString& interfaces) {
        const QString arguments = QStringLiteral("[<objectpath '%1'>, <%2>]").arg(path, interfaces);
        emitSignal("/", "InterfacesAdded", signature, arguments);
    }
    QString adapterCalls() { return bus->mockCalls("org.bluez", adapterPath); }

    // The one sighting the signals since the last look gave, without its time (the wall
    // clock's). Signals are handled in order, so one that gave more shows by the next look.
    Sighting hearOne() {
        std::vector<Sighting> heard;
        EXPECT_TRUE(waitUntil([&] { return !(heard = buffer->drain()).empty(); }));
        EXPECT_EQ(heard.size(), 1u);
        Sighting one = heard.empty() ? Sighting() : heard.front();
        one.time = {};
        return one;
    }
};

TEST_F(BluezScannerTest, AnAdapterThatPowersOnBecomesReadyAndDiscoversWithTheFilter) {
    startScanner();
    mock("AddAdapter", {"My PC"});
    ASSERT_TRUE(waitForStatus(BluetoothStatus::ready));
    const auto adapter = scanner->adapter().value_or(BluezAdapter{});
    EXPECT_EQ(std::tuple(adapter.path, adapter.address, adapter.name),
              std::tuple(adapterPath, QString("00:01:02:03:04:05"), QString("My PC")));
    // LE only, and every advertisement rather than the first of each device; a plain
    // boolean, as BlueZ takes no other type.
    ASSERT_TRUE(waitUntil([&] { return adapterCalls().contains("StartDiscovery"); }));
    EXPECT_EQ(adapterCalls(), "[('SetDiscoveryFilter', [<{'DuplicateData': <true>, 'Transport': <'le'>}>]), "
                              "('StartDiscovery', [])]");

    // Off, then on again: discovery starts again.
    change(adapterPath, "{'Powered': <false>}", "org.bluez.Adapter1");
    ASSERT_TRUE(waitForStatus(BluetoothStatus::poweredOff));
    change(adapterPath, "{'Powered': <true>}", "org.bluez.Adapter1");
    EXPECT_TRUE(waitUntil([&] { return adapterCalls().count("StartDiscovery") == 2; }));

    // PowerState, once bluetoothd has it, wins over Powered.
    change(adapterPath, "{'PowerState': <'on-disabling'>}", "org.bluez.Adapter1");
    ASSERT_TRUE(waitForStatus(BluetoothStatus::resetting));
    change(adapterPath, "{'PowerState': <'off-blocked'>}", "org.bluez.Adapter1");
    ASSERT_TRUE(waitForStatus(BluetoothStatus::poweredOff));

    // Unplugged: no adapter is left.
    mock("RemoveAdapter");
    ASSERT_TRUE(waitForStatus(BluetoothStatus::unsupported));
    EXPECT_EQ(scanner->adapter(), std::nullopt);
}

// One device's signals, from its first advertisement on.
TEST_F(BluezScannerTest, AdvertisementSignalsAreSightingsAndDaemonStateIsNot) {
    mock("AddAdapter", {"My PC"});
    startScanner();

    // InterfacesAdded: the mock's initial ManufacturerData and ServiceData have the
    // wrong type (aa{qv}, aa{sv}) and are dropped, field by field. Only what the
    // advertisement carried is kept; bluetoothd's own state (Adapter, Alias, Paired,
    // Trusted, Icon, Modalias…) stays out.
    mock("AddDevice", {"C0:FF:EE:00:00:01", "Beacon"});
    EXPECT_EQ(hearOne(), Sighting(SightingSource::lowEnergy, beacon, {}, -79, "Beacon",
                                  {.localName = "Beacon", .txPower = 0,
                                   .otherFields = {{"AdvertisingData", "[]"}, {"AdvertisingFlags", "[]"},
                                                   {"Appearance", "0"}}}));

    // Pairing, connecting, renaming and trusting are bluetoothd's chatter, not packets
    // heard: no sighting, but the paired row follows them.
    mock("PairDevice", {"C0:FF:EE:00:00:01", "2360324"});
    change(beaconPath, "{'Connected': <true>, 'Alias': <'Kitchen'>, 'Trusted': <true>, 'ServicesResolved': <true>}");
    ASSERT_TRUE(waitUntil([&] {
        const auto paired = scanner->pairedDevices().value_or(std::vector<Sighting>{});
        return paired.size() == 1 && paired[0].isConnected == true;
    }));

    // Manufacturer data, company identifier first. Signals arrive in order, so this is
    // the next sighting only if the chatter above gave none.
    call(beaconPath, "org.freedesktop.DBus.Properties.Set",
         {"org.bluez.Device1", "ManufacturerData", "<{uint16 0x004c: <[byte 0x02, 0x15, 0xaa]>}>"});
    EXPECT_EQ(hearOne(), Sighting(SightingSource::lowEnergy, beacon, {}, std::nullopt, "Beacon",
                                  {.manufacturerData = hex("4C 00 02 15 AA")}));

    // Several fields in one signal are one sighting: rssi 127 (none), transmit power, a
    // new name, UUIDs and service data by their short texts.
    change(beaconPath, "{'RSSI': <int16 127>, 'TxPower': <int16 4>, 'Name': <'Beacon 2'>, "
                       "'UUIDs': <['0000180f-0000-1000-8000-00805f9b34fb', '6e400001-b5a3-f393-e0a9-e50e24dcca9e']>, "
                       "'ServiceData': <{'0000feaa-0000-1000-8000-00805f9b34fb': <[byte 0x10, 0x00]>}>}");
    EXPECT_EQ(hearOne(), Sighting(SightingSource::lowEnergy, beacon, {}, std::nullopt, "Beacon 2",
                                  {.localName = "Beacon 2", .serviceData = {{"FEAA", hex("10 00")}},
                                   .serviceUUIDs = {"180F", "6E400001-B5A3-F393-E0A9-E50E24DCCA9E"}, .txPower = 4}));

    // Values of the wrong type are dropped field by field; the address and the name
    // held before stay. Inside the maps only the badly typed entries go.
    change(beaconPath, "{'RSSI': <'loud'>, 'TxPower': <'high'>, 'Name': <int32 5>, 'UUIDs': <[int32 1, 2]>, "
                       "'Address': <uint32 7>, 'Paired': <'yes'>, 'Class': <'phone'>, 'Weird': <int32 3>, "
                       "'ManufacturerData': <{uint16 1: <'text'>, uint16 0x004c: <[byte 0x01]>, "
                       "uint16 0x0006: <[byte 0x02]>}>, "
                       "'ServiceData': <{'0000feaa-0000-1000-8000-00805f9b34fb': <int32 4>, "
                       "'0000fe9f-0000-1000-8000-00805f9b34fb': <[byte 0x07]>}>}");
    EXPECT_EQ(hearOne(), Sighting(SightingSource::lowEnergy, beacon, {}, std::nullopt, "Beacon 2",
                                  {.manufacturerData = hex("4C 00 01"), .serviceData = {{"FE9F", hex("07")}}}));

    // Signals of the wrong shape are ignored whole, and discovery stopping invalidates
    // RSSI, which is nothing heard: the next sighting is the next packet's.
    emitSignal(beaconPath, "PropertiesChanged", "sas", "[<'org.bluez.Device1'>, <['RSSI']>]");
    interfacesAdded(beaconPath, "oa{sv}", "{'org.bluez.Device1': <7>}");
    interfacesAdded(beaconPath, "oa{sa{sv}}", "{'org.bluez.Battery1': {'Percentage': <'full'>}}");
    change(beaconPath, "@a{sv} {}", "org.bluez.Device1", "['RSSI']");
    change(beaconPath, "{'RSSI': <int16 -70>}");
    EXPECT_EQ(hearOne().rssi, -70);
}

TEST_F(BluezScannerTest, PairedDevicesWithBatteryAndClassAcrossBluetoothdRestarts) {
    mock("AddAdapter", {"My PC"});
    mock("AddDevice", {"00:11:22:33:44:55", "Headphones"});
    mock("PairDevice", {"00:11:22:33:44:55", "2360324"});
    startScanner();
    // Devices already known when the scanner starts are read from the object tree, not heard.
    ASSERT_TRUE(waitUntil([&] { return scanner->pairedDevices().value_or(std::vector<Sighting>{}).size() == 1; }));
    EXPECT_TRUE(buffer->drain().empty());

    // The mock tells the class it paired with only in a signal, so it is told again here.
    change(headphonesPath, "{'Connected': <true>, 'RSSI': <int16 -50>, 'Class': <uint32 2360324>}");
    EXPECT_EQ(hearOne().rssi, -50);  // heard like any other device
    interfacesAdded(headphonesPath, "oa{sa{sv}}", "{'org.bluez.Battery1': {'Percentage': <byte 87>}}");
    ASSERT_TRUE(waitUntil([&] { return scanner->pairedDevices()->at(0).batteryPercent.has_value(); }));
    const Sighting row = scanner->pairedDevices()->at(0);
    EXPECT_EQ(row, Sighting(SightingSource::paired, headphones, row.time, -50, "Headphones", {}, 2360324u, true, 87));

    // The battery goes away on its own: the device stays paired.
    emitSignal("/", "InterfacesRemoved", "oas",
               QStringLiteral("[<objectpath '%1'>, <['org.bluez.Battery1']>]").arg(headphonesPath));
    ASSERT_TRUE(waitUntil([&] { return !scanner->pairedDevices()->at(0).batteryPercent; }));

    // Disconnected: no rssi. Removed: gone.
    change(headphonesPath, "{'Connected': <false>}");
    ASSERT_TRUE(waitUntil([&] { return scanner->pairedDevices()->at(0).isConnected == false; }));
    EXPECT_EQ(scanner->pairedDevices()->at(0).rssi, std::nullopt);
    call(adapterPath, "org.bluez.Adapter1.RemoveDevice", {QStringLiteral("objectpath '%1'").arg(headphonesPath)});
    ASSERT_TRUE(waitUntil([&] { return scanner->pairedDevices()->empty(); }));

    // bluetoothd leaves: nothing read through it is left.
    bus->stopMocks();
    ASSERT_TRUE(waitForStatus(BluetoothStatus::starting));
    EXPECT_EQ(scanner->pairedDevices(), std::nullopt);
    EXPECT_EQ(scanner->adapter(), std::nullopt);

    // The new bluetoothd knows nothing of the old discovery session: it is started again.
    ASSERT_TRUE(bus->startMock("bluez5", "org.bluez", true));
    ASSERT_TRUE(waitForStatus(BluetoothStatus::unsupported));
    mock("AddAdapter", {"My PC"});
    EXPECT_TRUE(waitUntil([&] { return adapterCalls().contains("StartDiscovery"); }));
    mock("AddDevice", {"C0:FF:EE:00:00:01", "Beacon"});
    EXPECT_EQ(hearOne().deviceKey, beacon);
}

TEST_F(BluezScannerTest, ADiscoveryRefusedForAccessIsNotAllowed) {
    mock("AddAdapter", {"My PC"});
    call(adapterPath, "org.freedesktop.DBus.Mock.AddMethod",
         {"org.bluez.Adapter1", "StartDiscovery", "", "",
          "raise dbus.exceptions.DBusException('no', name='org.freedesktop.DBus.Error.AccessDenied')"});
    startScanner();
    EXPECT_TRUE(waitForStatus(BluetoothStatus::notAllowed));
}

// Advertisement fields without a meaning of their own are kept as text, whatever their shape.
TEST_F(BluezScannerTest, OtherFieldsOfAnyShapeAreDescribed) {
    mock("AddAdapter", {"My PC"});
    mock("AddDevice", {"C0:FF:EE:00:00:01", "Beacon"});
    startScanner();
    change(beaconPath, "{'AdvertisingFlags': <[byte 0x06]>, 'AdvertisingData': <{byte 0x16: <[byte 0xaa, 0xfe]>, "
                       "byte 0xff: <(uint16 1, 'x', objectpath '/a', 1.5, uint64 18446744073709551615, "
                       "[true, false], @a{sv} {})>}>}");
    EXPECT_EQ(hearOne().advertisement.otherFields,
              (std::map<std::string, std::string>{
                  {"AdvertisingFlags", "06"},
                  {"AdvertisingData", "{22: AA FE, 255: (1, x, /a, 1.5, 18446744073709551615, [true, false], {})}"}}));
}

// bluetoothd refuses the filter, which does not stop discovery; it signals a burst while
// StartDiscovery is pending, then hangs before it answers: every signal is heard
// meanwhile, and the scanner stops without waiting for the answer.
TEST_F(BluezScannerTest, ABurstDuringAPendingCallIsHeardAndStoppingDoesNotWait) {
    mock("AddAdapter", {"My PC"});
    mock("AddDevice", {"C0:FF:EE:00:00:01", "Beacon"});
    call(adapterPath, "org.freedesktop.DBus.Mock.AddMethod",
         {"org.bluez.Adapter1", "SetDiscoveryFilter", "a{sv}", "",
          "raise dbus.exceptions.DBusException('no', name='org.bluez.Error.NotSupported')"});
    QTemporaryDir dir;
    const QString answered = dir.filePath("answered");
    const QString hang = QStringLiteral(
        "'device = objects[\"%1\"]\n"
        "for i in range(300):\n"
        "    device.EmitSignal(\"org.freedesktop.DBus.Properties\", \"PropertiesChanged\", \"sa{sv}as\", "
        "[\"org.bluez.Device1\", {\"RSSI\": dbus.Int16(-1 - i % 90)}, dbus.Array([], signature=\"s\")])\n"
        "time.sleep(4)\n"
        "open(\"%2\", \"w\").close()\n'").arg(beaconPath, answered);
    call(adapterPath, "org.freedesktop.DBus.Mock.AddMethod", {"org.bluez.Adapter1", "StartDiscovery", "", "", hang});
    startScanner();

    std::vector<Sighting> heard;
    ASSERT_TRUE(waitUntil([&] {
        for (Sighting& sighting : buffer->drain()) heard.push_back(std::move(sighting));
        return heard.size() >= 300;
    }));
    scanner.reset();
    EXPECT_FALSE(QFile::exists(answered));
    EXPECT_EQ(heard.size(), 300u);
    EXPECT_EQ(heard.back().rssi, -1 - 299 % 90);
}

// A replay still lists the computer's real paired devices, read through BlueZ without
// discovery; what BlueZ hears meanwhile is not mixed into the replay, and the
// capture's own paired row is left alone.
TEST_F(BluezScannerTest, AReplayReadsThePairedDevicesAndHearsNothing) {
    mock("AddAdapter", {"My PC"});
    mock("AddDevice", {"00:11:22:33:44:55", "Headphones"});
    mock("PairDevice", {"00:11:22:33:44:55", "2360324"});
    test::TestStore replay({"-replayPath", QUILLMOTE_TEST_DATA "/sample-capture.json"});
    const BluezScanner::Options options{bus->address()};
    replay.store.setScannerFactory([options] { return std::make_unique<BluezScanner>(options); });
    replay.store.start();
    ASSERT_TRUE(waitUntil([&] { return replay.store.record(headphones).has_value(); }));

    // An advertisement, then a change the paired row shows. Signals arrive in order, so
    // once the row shows it the advertisement has been dealt with; the publish after
    // that has drained whatever it left in the buffer.
    change(headphonesPath, "{'RSSI': <int16 -40>, 'ManufacturerData': <{uint16 0x004c: <[byte 0x01]>}>}");
    change(headphonesPath, "{'Connected': <true>}");
    ASSERT_TRUE(waitUntil([&] { return replay.store.record(headphones)->isConnected == true; }));
    const Instant shownAt = replay.store.publishedAt();
    ASSERT_TRUE(waitUntil([&] { return replay.store.publishedAt() != shownAt; }));

    EXPECT_EQ(replay.store.record(headphones)->source, SightingSource::paired);
    EXPECT_FALSE(replay.store.record("00:11:22:33:44:55"));
    EXPECT_TRUE(replay.store.record("a4-83-e7-11-22-33"));  // the capture's keyboard
    EXPECT_EQ(replay.store.status(), BluetoothStatus::ready);
    EXPECT_FALSE(adapterCalls().contains("Discovery"));
}

// No system bus, then a bus without bluetoothd: the store says why once that has
// lasted a while, carries on by itself when BlueZ appears, lists what it hears, and
// notices a bus that goes.
TEST_F(BluezScannerTest, TheStoreTellsProblemsUntilBluezAppears) {
    bus.reset();  // brought up again later, at an address chosen now
    test::TestStore live({});
    const QString address = "unix:path=" + QString::fromStdString((live.dir.path() / "bus").string());
    const BluezScanner::Options options{address, 100ms, 50ms};
    live.store.setScannerFactory([options] { return std::make_unique<BluezScanner>(options); });
    DeviceStore& store = live.store;
    store.start();
    ASSERT_TRUE(waitUntil([&] { return store.problem() == BluetoothProblem::noSystemBus; }));

    bus = std::make_unique<test::PrivateBus>(address);
    ASSERT_TRUE(waitUntil([&] { return store.problem() == BluetoothProblem::noBluetoothService; }));
    ASSERT_TRUE(bus->startMock("bluez5", "org.bluez", true));
    ASSERT_TRUE(waitUntil([&] { return store.status() == BluetoothStatus::unsupported; }));
    EXPECT_EQ(store.problem(), BluetoothProblem::none);

    mock("AddAdapter", {"My PC"});
    mock("AddDevice", {"C0:FF:EE:00:00:01", "Beacon"});
    ASSERT_TRUE(waitUntil([&] { return store.record(beacon).has_value(); }));
    EXPECT_EQ(store.status(), BluetoothStatus::ready);

    bus.reset();
    ASSERT_TRUE(waitUntil([&] { return store.problem() == BluetoothProblem::noSystemBus; }));
    EXPECT_EQ(store.status(), BluetoothStatus::starting);
}

// What a hostile radio can make bluetoothd send, sent by the mock in-process as fast
// as it can: ten thousand invented addresses, oversized fields, and one device
// signalling thousands of times a second.
TEST_F(BluezScannerTest, AHostileRadioIsHeldWithinBounds) {
    mock("AddAdapter", {"My PC"});
    test::TestStore live({});
    const BluezScanner::Options options{bus->address()};
    live.store.setScannerFactory([options] { return std::make_unique<BluezScanner>(options); });
    DeviceStore& store = live.store;
    store.start();
    ASSERT_TRUE(waitUntil([&] { return store.status() == BluetoothStatus::ready; }));
    mock("AddDevice", {"C0:FF:EE:00:00:01", "Beacon"});
    ASSERT_TRUE(waitUntil([&] { return store.record(beacon).has_value(); }));

    const QString flood =
        "'for i in range(args[0]):\n"
        "    path = \"/org/bluez/hci0/dev_F0_00_00_00_%02X_%02X\" % (i >> 8, i & 255)\n"
        "    self.EmitSignal(\"org.freedesktop.DBus.ObjectManager\", \"InterfacesAdded\", \"oa{sa{sv}}\", "
        "[dbus.ObjectPath(path), {\"org.bluez.Device1\": {\"RSSI\": dbus.Int16(-60 - i % 30)}}])\n"
        "device = objects[\"/org/bluez/hci0/dev_C0_FF_EE_00_00_01\"]\n"
        "for i in range(args[1]):\n"
        "    changed = {\"RSSI\": dbus.Int16(-50)}\n"
        "    if i % 500 == 0:\n"
        "        changed.update({\"Name\": (chr(0x202e) + \"Kitchen\" + chr(7)) * 1000, "
        "\"ManufacturerData\": dbus.Dictionary({dbus.UInt16(76): dbus.ByteArray(bytes(65536))}, signature=\"qv\")})\n"
        "    device.EmitSignal(\"org.freedesktop.DBus.Properties\", \"PropertiesChanged\", \"sa{sv}as\", "
        "[\"org.bluez.Device1\", changed, []])\n'";
    call("/", "org.freedesktop.DBus.Mock.AddMethod", {"org.bluez.Mock", "Flood", "ii", "", flood});
    const std::int64_t before = store.record(beacon)->packetCount;
    call("/", "org.bluez.Mock.Flood", {"10000", "5000"});

    // Every signal of the one device is counted, and the table keeps to its cap.
    ASSERT_TRUE(waitUntil([&] {
        const auto record = store.record(beacon);
        return record && record->packetCount >= before + 5000;
    }, 60s));
    ASSERT_TRUE(waitUntil([&] { return store.devices().size() == DeviceTable::maxRows; }, 30s));
    const DeviceRecord record = *store.record(beacon);
    EXPECT_EQ(record.packetCount, before + 5000);
    ASSERT_TRUE(record.advertisement.localName && record.advertisement.manufacturerData);
    // Cut between characters; bidirectional and control characters are kept, as text.
    EXPECT_GT(record.advertisement.localName->size(), bluez::maxNameBytes - 4);
    EXPECT_LE(record.advertisement.localName->size(), bluez::maxNameBytes);
    EXPECT_TRUE(record.advertisement.localName->starts_with("\u202eKitchen\a\u202eKitchen"));
    EXPECT_EQ(record.advertisement.manufacturerData->size(), bluez::maxDataBytes + 2);
}

}  // namespace
}  // namespace quillmote
