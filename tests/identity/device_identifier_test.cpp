#include "core/identity/device_identifier.h"

#include <gtest/gtest.h>

namespace quillmote {
namespace {

using namespace DeviceIdentifier;
using Lines = std::vector<std::string>;

const std::string arrow = " \u2192 ";
const std::string dot = " \u00B7 ";
constexpr auto none = std::nullopt;

Bytes hex(std::string_view text) { return bytesFromHex(text).value(); }

DeviceFacts withManufacturer(std::string_view data) {
    DeviceFacts facts;
    facts.advertisement.manufacturerData = hex(data);
    return facts;
}

DeviceFacts withServices(std::vector<std::string> uuids, std::optional<std::string> name = none) {
    DeviceFacts facts;
    facts.advertisement.serviceUUIDs = std::move(uuids);
    facts.advertisement.localName = std::move(name);
    return facts;
}

// Apple manufacturer data with one full-length proximity-pairing message whose value starts with `head`.
DeviceFacts withPairing(std::string_view head) {
    Bytes value = hex(head);
    value.resize(ProximityPairing::fullLength, 0x00);
    return withManufacturer("4C 00 07 19 " + hexString(value));
}

TEST(DeviceIdentifier, EmptyFactsAndMakerOnlyDevices) {
    EXPECT_EQ(certaintyFromRaw(3), Certainty::sure);
    EXPECT_FALSE(certaintyFromRaw(4));

    DeviceFacts empty;
    empty.advertisement.txPower = 4;
    EXPECT_EQ(identify(empty), DeviceIdentity::unknown());
    EXPECT_EQ(identify(withManufacturer("4C 00")),
              (DeviceIdentity{"Apple", DeviceKind::unknown, "Unknown device", Certainty::sure,
                              {"Manufacturer data company ID 0x004C" + arrow + "Apple, Inc."}, {}}));
    auto unregistered = identify(withManufacturer("FF FF 01 02"));
    EXPECT_EQ(unregistered.evidence, Lines{"Manufacturer data company ID 0xFFFF" + arrow + "unregistered company"});
    EXPECT_TRUE(manufacturerClues(withManufacturer("4C")).empty());
}

TEST(DeviceIdentifier, LeadIsTheMostCertainKindEarlierWinsTies) {
    // Device class and a sure service hint tie: the class comes first.
    DeviceFacts facts = withServices({"180D"});
    facts.classOfDevice = 0x5A020C;
    EXPECT_EQ(identify(facts).label, "Phone" + dot + "Smartphone");

    // A later sure hint beats earlier likely Apple clues; the first maker stays, and
    // every clue leaves its line.
    DeviceFacts mixed = withServices({"180D", "FE9F"}, "Office Printer");
    mixed.advertisement.manufacturerData = hex("4C 00 10 02 0B 0C");
    mixed.advertisement.overflowServiceUUIDs = {"ABCD"};
    auto identity = identify(mixed);
    EXPECT_EQ(identity.label, "Heart-rate sensor");
    EXPECT_EQ(identity.certainty, Certainty::sure);
    EXPECT_EQ(identity.maker, "Apple");
    EXPECT_EQ(identity.evidence,
              (Lines{"Manufacturer data company ID 0x004C" + arrow + "Apple, Inc.",
                     "Apple 'Nearby Info' message (0x10)",
                     "Service 180D (Heart Rate)" + arrow + "Heart-rate sensor",
                     "Service FE9F (Google LLC)", "Apple background-app services (hashed, can't be read)",
                     "Name \"Office Printer\" contains \"printer\"" + arrow + "Printer / camera"}));

    // A guess hint and a guess name: the name loses the tie.
    EXPECT_EQ(identify(withServices({"FE78"}, "Kitchen Speaker")).label, "HP printer");
    // Two likely Continuity clues: the first in the payload leads.
    EXPECT_EQ(identify(withManufacturer("4C 00 12 02 10 00 10 01 00")).label, "AirTag");
    EXPECT_EQ(identify(withManufacturer("4C 00 10 01 00 12 02 10 00")).label,
              "Apple device (iPhone, iPad, Mac or Watch)");
}

TEST(DeviceIdentifier, MicrosoftBeaconsAndLabelOnlyCluesThatLeadOnlyWithoutAnyKind) {
    auto swiftPair = identify(withManufacturer("06 00 03 00 80"));
    EXPECT_EQ(swiftPair.label, "Accessory in pairing mode (Swift Pair)");
    EXPECT_EQ(swiftPair.certainty, Certainty::likely);
    EXPECT_EQ(swiftPair.kind, DeviceKind::unknown);
    DeviceFacts keyboard = withManufacturer("06 00 03 00 80");
    keyboard.advertisement.localName = "MX Keyboard";
    EXPECT_EQ(identify(keyboard).certainty, Certainty::guess);

    EXPECT_EQ(identify(withManufacturer("06 00 01 09 20")).label, "Windows PC");
    // Other beacons, no payload, or another company's payload: only the company line.
    for (auto data : {"06 00 02 09", "06 00", "75 00 01 09 20"})
        EXPECT_EQ(manufacturerClues(withManufacturer(data)).size(), 1u) << data;
}

TEST(DeviceIdentifier, ClassOfDeviceAndRangedBeaconClues) {
    DeviceFacts facts;
    facts.classOfDevice = 0;
    EXPECT_TRUE(deviceClassClues(facts).empty());
    facts.classOfDevice = 0x001F00;
    EXPECT_EQ(deviceClassClues(facts).at(0).evidence, "Device class 0x001F00" + arrow + "Uncategorized");

    DeviceFacts ranged;
    ranged.rangedBeacon = RangedBeacon::make(*Uuid::fromText("e2c56db5-dffb-48d2-b060-d0f5a71096e0"), 1, 2, 3.0);
    EXPECT_EQ(identify(ranged).kind, DeviceKind::beacon);
    EXPECT_EQ(identify(ranged).details, Lines{"iBeacon E2C56DB5-DFFB-48D2-B060-D0F5A71096E0" + dot + "major 1" + dot +
                                              "minor 2"});
}

TEST(AppleClue, UnknownFindMyIBeaconAndPairingMessages) {
    EXPECT_EQ(appleClue({0x01, {}}),
              (Clue{none, none, none, Certainty::guess, "Apple message type 0x01 (meaning unknown)", none}));
    EXPECT_EQ(appleClue({0x12, {0x10}}), (Clue{DeviceKind::tracker, "AirTag", none, Certainty::likely,
                                               "Apple 'Find My' message (0x12)" + arrow + "AirTag", none}));
    EXPECT_FALSE(appleClue({0x12, {}}));

    Bytes beacon = hex("E2C56DB5DFFB48D2B060D0F5A71096E0 0001 0203 C5");
    EXPECT_EQ(appleClue({0x02, beacon})->detail, "iBeacon E2C56DB5-DFFB-48D2-B060-D0F5A71096E0" + dot +
                                                     "major 1" + dot + "minor 515" + dot + "-59 dBm at 1 m");
    beacon.pop_back();
    EXPECT_FALSE(appleClue({0x02, beacon}));

    auto unlisted = identify(withPairing("01 20 24 00 5A F3"));
    EXPECT_EQ(unlisted.evidence.at(1), "Apple 'Proximity pairing' message (0x07), model code 0x2024" + arrow +
                                           "AirPods / Beats (model 0x2024)");
    EXPECT_EQ(unlisted.details, Lines{"Battery: buds 50%" + dot + "100%, case 30%"});
    EXPECT_EQ(appleClue({0x07, hex("01 0E 20 00 5A F3")})->label, "AirPods or Beats (model hidden)");

    ProximityPairing pairing;
    EXPECT_EQ(batteryDetail(pairing), std::nullopt);  // no level known: no line at all
    pairing.caseBattery = 30;
    EXPECT_EQ(batteryDetail(pairing), "Battery: buds ?, case 30%");
    pairing.budBatteries = {none, 100};
    EXPECT_EQ(batteryDetail(pairing), "Battery: buds 100%, case 30%");
}

TEST(ServiceClue, EddystoneFramesHintsNamesAndMembers) {
    const Bytes findMyDevice = hex("40 00"), telemetry = hex("20 00"), undecodable = hex("50 00");
    EXPECT_EQ(serviceClue("FEAA", &findMyDevice),
              (Clue{DeviceKind::tracker, "Find My Device tracker (Google network)", none, Certainty::likely,
                    "Eddystone service data (FEAA)" + arrow + "Find My Device tracker (Google network)", none}));
    EXPECT_EQ(serviceClue("FEAA", &telemetry)->kind, DeviceKind::beacon);
    // FEAA and FD6F are used by many makers, so they name none.
    const Clue google{none, none, none, Certainty::sure, "Service FEAA (Google LLC)", none};
    EXPECT_EQ(serviceClue("FEAA", &undecodable), google);
    EXPECT_EQ(serviceClue("FEAA", nullptr), google);
    EXPECT_FALSE(serviceClue("FD6F", nullptr)->maker);
    EXPECT_EQ(serviceClue("FE9F", nullptr)->maker, "Google");
    EXPECT_EQ(serviceClue("fe03", nullptr)->maker, "Amazon");
    EXPECT_EQ(serviceClue("0000180d-0000-1000-8000-00805f9b34fb", nullptr)->evidence,
              "Service 180D (Heart Rate)" + arrow + "Heart-rate sensor");
    EXPECT_FALSE(serviceClue("FFF0", nullptr));
    EXPECT_FALSE(serviceClue("E2C56DB5-DFFB-48D2-B060-D0F5A71096E0", nullptr));

    for (auto member : {"FC00", "FEFF"}) EXPECT_TRUE(isMemberUUID(member)) << member;
    for (auto other : {"FBFF", "FEZZ", ""}) EXPECT_FALSE(isMemberUUID(other)) << other;
}

TEST(ServiceClue, DataFirstThenUnrepeatedUUIDsThenOverflow) {
    DeviceFacts facts = withServices({"FD6F", "180F", "FD6F"});
    facts.advertisement.serviceData = {{"FEAA", hex("40")}, {"180F", hex("64")}};
    facts.advertisement.solicitedServiceUUIDs = {"180D"};
    facts.advertisement.overflowServiceUUIDs = {"ABCD"};
    EXPECT_EQ(identify(facts).evidence,
              (Lines{"Service 180F (Battery)",
                     "Eddystone service data (FEAA)" + arrow + "Find My Device tracker (Google network)",
                     "Service FD6F (Apple, Inc.)" + arrow + "Phone (exposure notification)",
                     "Apple background-app services (hashed, can't be read)"}));
    EXPECT_EQ(orderedUnique({"b", "a", "b", "c", "a"}), (Lines{"b", "a", "c"}));
}

TEST(NameClue, FirstListedWordWinsInAnyCase) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"Galaxy S24 Buds", "buds", "Earbuds / headphones"},  // before "galaxy s"
        {"Smart Plug Remote", "remote", "Keyboard / mouse"},   // before "plug"
        {"Anna's AirTag", "airtag", "Tracker"},
        {"Café SPEAKER", "speaker", "Speaker"},               // not ASCII, lower-cased all the same
        {"\u212AEYBOARD", "keyboard", "Keyboard / mouse"},   // the Kelvin sign lower-cases to k
    };
    for (const auto& [name, word, kind] : cases) {
        EXPECT_EQ(nameClues(withServices({}, name)).at(0).evidence,
                  "Name \"" + name + "\" contains \"" + word + "\"" + arrow + kind);
    }

    DeviceFacts facts;
    facts.cachedName = "Hue bulb";
    EXPECT_EQ(nameClues(facts).at(0).kind, DeviceKind::smartHome);
    facts.advertisement.localName = "Pixel 8";  // the advertised name comes first
    EXPECT_EQ(nameClues(facts).at(0).kind, DeviceKind::phone);
}

TEST(ShortCompanyName, DropsLegalSuffixesRepeatedly) {
    EXPECT_EQ(shortCompanyName("Samsung Electronics Co., Ltd."), "Samsung Electronics");
    EXPECT_EQ(shortCompanyName("Acme Inc. AB"), "Acme");  // " Inc." only goes in the second pass
    EXPECT_EQ(shortCompanyName(" Acme\t"), "Acme");
    EXPECT_EQ(shortCompanyName(","), "");
}

TEST(HiddenAppleClue, OnlyForAnOtherwiseEmptyBroadcast) {
    DeviceFacts facts;
    EXPECT_TRUE(hiddenAppleClues(facts).empty());
    facts.appleDataHidden = true;
    facts.advertisement.txPower = 8;  // transmit power and connectability survive the stripping
    facts.advertisement.isConnectable = true;
    EXPECT_EQ(identify(facts).label, "Apple device (hidden by iOS)");
    EXPECT_EQ(identify(facts).certainty, Certainty::guess);
    auto showing = [&](auto change) {
        DeviceFacts more = facts;
        change(more);
        return hiddenAppleClues(more).empty();
    };
    EXPECT_TRUE(showing([](DeviceFacts& f) { f.advertisement.serviceUUIDs = {"FFF0"}; }));
    EXPECT_TRUE(showing([](DeviceFacts& f) { f.advertisement.solicitedServiceUUIDs = {"FFF0"}; }));
    EXPECT_TRUE(showing([](DeviceFacts& f) { f.advertisement.localName = "Room"; }));
    EXPECT_TRUE(showing([](DeviceFacts& f) { f.cachedName = "x"; }));
}

}  // namespace
}  // namespace quillmote
