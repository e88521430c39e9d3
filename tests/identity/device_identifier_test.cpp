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

DeviceFacts withServices(std::vector<std::string> uuids) {
    DeviceFacts facts;
    facts.advertisement.serviceUUIDs = std::move(uuids);
    return facts;
}

Lines evidenceOf(const std::vector<Clue>& clues) {
    Lines lines;
    for (const auto& clue : clues) lines.push_back(clue.evidence);
    return lines;
}

// A full-length proximity-pairing message whose value starts with `head`, as payload hex.
std::string pairingMessage(std::string_view head) {
    Bytes value = hex(head);
    value.resize(ProximityPairing::fullLength, 0x00);
    return "07 19 " + hexString(value);
}

TEST(Certainty, LabelsRawValuesAndOrder) {
    EXPECT_EQ(label(Certainty::guess), "guess");
    EXPECT_EQ(label(Certainty::likely), "likely");
    EXPECT_EQ(label(Certainty::sure), "sure");
    EXPECT_EQ(certaintyFromRaw(1), Certainty::guess);
    EXPECT_EQ(certaintyFromRaw(3), Certainty::sure);
    EXPECT_FALSE(certaintyFromRaw(0));
    EXPECT_FALSE(certaintyFromRaw(4));
    EXPECT_LT(Certainty::likely, Certainty::sure);
}

TEST(DeviceIdentifier, EmptyFactsAndMakerOnlyDevices) {
    DeviceFacts empty;
    empty.advertisement.txPower = 4;
    EXPECT_EQ(identify(empty), DeviceIdentity::unknown());
    EXPECT_FALSE(identify(empty).isIdentified());

    auto apple = identify(withManufacturer("4C 00"));
    EXPECT_EQ(apple, (DeviceIdentity{"Apple", DeviceKind::unknown, "Unknown device", Certainty::sure,
                                     {"Manufacturer data company ID 0x004C" + arrow + "Apple, Inc."}, {}}));
    EXPECT_TRUE(apple.isIdentified());

    auto unregistered = identify(withManufacturer("FF FF 01 02"));
    EXPECT_EQ(unregistered, (DeviceIdentity{none, DeviceKind::unknown, "Unknown device", Certainty::guess,
                                            {"Manufacturer data company ID 0xFFFF" + arrow +
                                             "unregistered company"}, {}}));
    EXPECT_FALSE(unregistered.isIdentified());
    EXPECT_TRUE(manufacturerClues(withManufacturer("4C")).empty());
}

TEST(DeviceIdentifier, LeadIsTheMostCertainKindEarlierWinsTies) {
    // Device class and a sure service hint tie: the class comes first.
    DeviceFacts facts = withServices({"180D"});
    facts.classOfDevice = 0x5A020C;
    EXPECT_EQ(identify(facts).label, "Phone" + dot + "Smartphone");

    // A later sure hint beats earlier likely Apple clues; the first maker stays, and
    // every clue leaves its line.
    DeviceFacts mixed = withManufacturer("4C 00 10 02 0B 0C");
    mixed.advertisement.serviceUUIDs = {"180D", "FE9F"};
    mixed.advertisement.overflowServiceUUIDs = {"ABCD"};
    mixed.advertisement.localName = "Office Printer";
    auto identity = identify(mixed);
    EXPECT_EQ(identity.kind, DeviceKind::health);
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
    DeviceFacts guesses = withServices({"FE78"});
    guesses.advertisement.localName = "Kitchen Speaker";
    EXPECT_EQ(identify(guesses).label, "HP printer");
    EXPECT_EQ(identify(guesses).certainty, Certainty::guess);

    // Two likely Continuity clues: the first in the payload leads.
    EXPECT_EQ(identify(withManufacturer("4C 00 12 02 10 00 10 01 00")).label, "AirTag");
    EXPECT_EQ(identify(withManufacturer("4C 00 10 01 00 12 02 10 00")).label,
              "Apple device (iPhone, iPad, Mac or Watch)");
}

TEST(DeviceIdentifier, LabelOnlyCluesLeadOnlyWithoutAnyKind) {
    auto swiftPair = identify(withManufacturer("06 00 03 00 80"));
    EXPECT_EQ(swiftPair.kind, DeviceKind::unknown);
    EXPECT_EQ(swiftPair.label, "Accessory in pairing mode (Swift Pair)");
    EXPECT_EQ(swiftPair.certainty, Certainty::likely);
    EXPECT_EQ(swiftPair.maker, "Microsoft");

    DeviceFacts named = withManufacturer("06 00 03 00 80");
    named.advertisement.localName = "MX Keyboard";
    auto keyboard = identify(named);
    EXPECT_EQ(keyboard.kind, DeviceKind::input);
    EXPECT_EQ(keyboard.label, "Keyboard / mouse");
    EXPECT_EQ(keyboard.certainty, Certainty::guess);
}

TEST(DeviceIdentifier, ClassOfDeviceAndRangedBeaconClues) {
    DeviceFacts facts;
    facts.classOfDevice = 0;
    EXPECT_TRUE(deviceClassClues(facts).empty());
    facts.classOfDevice = 0x001F00;
    EXPECT_EQ(deviceClassClues(facts), (std::vector<Clue>{{none, "Uncategorized", none, Certainty::sure,
                                                           "Device class 0x001F00" + arrow + "Uncategorized",
                                                           none}}));

    DeviceFacts ranged;
    ranged.rangedBeacon = RangedBeacon::make(*Uuid::fromText("e2c56db5-dffb-48d2-b060-d0f5a71096e0"), 1, 2, 3.0);
    EXPECT_EQ(identify(ranged),
              (DeviceIdentity{none, DeviceKind::beacon, "iBeacon", Certainty::sure,
                              {"Found by iOS Location, listening for a beacon ID you added"},
                              {"iBeacon E2C56DB5-DFFB-48D2-B060-D0F5A71096E0" + dot + "major 1" + dot +
                               "minor 2"}}));
}

TEST(ManufacturerClues, MicrosoftBeacons) {
    auto windows = manufacturerClues(withManufacturer("06 00 01 09 20"));
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[1], (Clue{DeviceKind::computer, "Windows PC", none, Certainty::likely,
                                "Microsoft Connected Devices beacon" + arrow + "Windows PC", none}));
    EXPECT_EQ(manufacturerClues(withManufacturer("06 00 02 09")).size(), 1u);
    EXPECT_EQ(manufacturerClues(withManufacturer("06 00")).size(), 1u);
    EXPECT_EQ(microsoftClue(hex("03"))->evidence, "Microsoft Swift Pair beacon");
    // Only Microsoft's company ID reads the payload that way.
    EXPECT_EQ(manufacturerClues(withManufacturer("75 00 01 09 20")).size(), 1u);
}

TEST(AppleClue, EvidenceTextsPerMessageKind) {
    EXPECT_EQ(appleClue({0x01, {}}),
              (Clue{none, none, none, Certainty::guess, "Apple message type 0x01 (meaning unknown)", none}));
    EXPECT_EQ(appleClue({0xFF, {0x00}})->evidence, "Apple message type 0xFF (meaning unknown)");
    EXPECT_EQ(appleClue({0x10, {0x0B}}),
              (Clue{DeviceKind::appleDevice, "Apple device (iPhone, iPad, Mac or Watch)", none, Certainty::likely,
                    "Apple 'Nearby Info' message (0x10)", none}));
    EXPECT_EQ(appleClue({0x0B, {}})->evidence, "Apple 'Magic Switch' message (0x0B)" + arrow + "Apple Watch");
    EXPECT_EQ(appleClue({0x0E, {}})->evidence,
              "Apple 'Instant Hotspot source' message (0x0E)" + arrow + "offers a hotspot");

    EXPECT_EQ(appleClue({0x12, {0x10}}), (Clue{DeviceKind::tracker, "AirTag", none, Certainty::likely,
                                               "Apple 'Find My' message (0x12)" + arrow + "AirTag", none}));
    EXPECT_FALSE(appleClue({0x12, {0x20}})->kind);
    EXPECT_FALSE(appleClue({0x12, {}}));

    Bytes beacon = hex("E2C56DB5DFFB48D2B060D0F5A71096E0 0001 0203 C5");
    EXPECT_EQ(appleClue({0x02, beacon})->detail, "iBeacon E2C56DB5-DFFB-48D2-B060-D0F5A71096E0" + dot +
                                                     "major 1" + dot + "minor 515" + dot + "-59 dBm at 1 m");
    beacon.pop_back();
    EXPECT_FALSE(appleClue({0x02, beacon}));
}

TEST(AppleClue, ProximityPairingModelAndBattery) {
    const std::string prefix = "Apple 'Proximity pairing' message (0x07)";
    auto unlisted = manufacturerClues(withManufacturer("4C 00 " + pairingMessage("01 20 24 00 5A F3")));
    ASSERT_EQ(unlisted.size(), 2u);
    EXPECT_EQ(unlisted[1], (Clue{DeviceKind::earbuds, "AirPods / Beats (model 0x2024)", none, Certainty::likely,
                                 prefix + ", model code 0x2024" + arrow + "AirPods / Beats (model 0x2024)",
                                 "Battery: buds 50%" + dot + "100%, case 30%"}));
    auto known = manufacturerClues(withManufacturer("4C 00 " + pairingMessage("01 0E 20 00 FF 0F")));
    EXPECT_EQ(known.at(1).label, "AirPods Pro");
    EXPECT_FALSE(known.at(1).detail);
    EXPECT_EQ(appleClue({0x07, hex("01 0E 20 00 5A F3")}),
              (Clue{DeviceKind::earbuds, "AirPods or Beats (model hidden)", none, Certainty::likely,
                    prefix + ", short encrypted form" + arrow + "AirPods or Beats, model not readable", none}));

    ProximityPairing pairing;
    EXPECT_FALSE(batteryDetail(pairing));
    pairing.caseBattery = 30;
    EXPECT_EQ(batteryDetail(pairing), "Battery: buds ?, case 30%");
    pairing.budBatteries = {none, 100};
    EXPECT_EQ(batteryDetail(pairing), "Battery: buds 100%, case 30%");
    pairing.budBatteries = {0, 100};
    pairing.caseBattery.reset();
    EXPECT_EQ(batteryDetail(pairing), "Battery: buds 0%" + dot + "100%");
}

TEST(ServiceClue, EddystoneHintsNamesAndMembers) {
    const Bytes findMyDevice = hex("40 00"), telemetry = hex("20 00"), undecodable = hex("50 00");
    EXPECT_EQ(serviceClue("FEAA", &findMyDevice),
              (Clue{DeviceKind::tracker, "Find My Device tracker (Google network)", none, Certainty::likely,
                    "Eddystone service data (FEAA)" + arrow + "Find My Device tracker (Google network)", none}));
    EXPECT_EQ(serviceClue("FEAA", &telemetry)->kind, DeviceKind::beacon);
    const Clue google{none, none, none, Certainty::sure, "Service FEAA (Google LLC)", none};
    EXPECT_EQ(serviceClue("FEAA", &undecodable), google);
    EXPECT_EQ(serviceClue("FEAA", nullptr), google);

    EXPECT_EQ(serviceClue("FE9F", nullptr),
              (Clue{none, none, "Google", Certainty::sure, "Service FE9F (Google LLC)", none}));
    EXPECT_EQ(serviceClue("FD6F", nullptr),
              (Clue{DeviceKind::phone, "Phone (exposure notification)", none, Certainty::likely,
                    "Service FD6F (Apple, Inc.)" + arrow + "Phone (exposure notification)", none}));
    EXPECT_EQ(serviceClue("180F", nullptr),
              (Clue{none, none, none, Certainty::sure, "Service 180F (Battery)", none}));
    EXPECT_EQ(serviceClue("fe03", nullptr)->maker, "Amazon");
    EXPECT_EQ(serviceClue("FE78", nullptr)->certainty, Certainty::guess);
    EXPECT_EQ(serviceClue("0000180d-0000-1000-8000-00805f9b34fb", nullptr)->evidence,
              "Service 180D (Heart Rate)" + arrow + "Heart-rate sensor");
    EXPECT_FALSE(serviceClue("FFF0", nullptr));
    EXPECT_FALSE(serviceClue("E2C56DB5-DFFB-48D2-B060-D0F5A71096E0", nullptr));

    for (auto member : {"FC00", "FEFF", "FE9F"}) EXPECT_TRUE(isMemberUUID(member)) << member;
    for (auto other : {"FBFF", "FD6F", "FEAA", "FEZZ", ""}) EXPECT_FALSE(isMemberUUID(other)) << other;
    EXPECT_FALSE(serviceHint("FE2C")->kind);
    EXPECT_FALSE(serviceHint("180F"));
}

TEST(ServiceClue, ListOrderRepeatsAndOverflow) {
    DeviceFacts facts = withServices({"FD6F", "180F", "FD6F"});
    facts.advertisement.serviceData = {{"FEAA", hex("40")}, {"180F", hex("64")}};
    facts.advertisement.solicitedServiceUUIDs = {"180D"};
    EXPECT_EQ(evidenceOf(serviceClues(facts)),
              (Lines{"Service 180F (Battery)",
                     "Eddystone service data (FEAA)" + arrow + "Find My Device tracker (Google network)",
                     "Service FD6F (Apple, Inc.)" + arrow + "Phone (exposure notification)"}));
    facts.advertisement.overflowServiceUUIDs = {"ABCD"};
    EXPECT_EQ(serviceClues(facts).back(), (Clue{none, none, none, Certainty::guess,
                                                "Apple background-app services (hashed, can't be read)", none}));

    EXPECT_EQ(orderedUnique({"b", "a", "b", "c", "a"}), (Lines{"b", "a", "c"}));
}

TEST(NameClue, FirstListedWordWins) {
    struct Case {
        std::string name, word;
        DeviceKind kind;
    };
    for (const auto& c : std::vector<Case>{
             {"AirPods Pro", "airpods", DeviceKind::earbuds},
             {"Apple Watch", "watch", DeviceKind::watch},
             {"iPhone", "iphone", DeviceKind::phone},
             {"Galaxy S24 Buds", "buds", DeviceKind::earbuds},
             {"Smart Plug Remote", "remote", DeviceKind::input},
             {"Living Room TV", " tv", DeviceKind::tv},
             {"Echo Show 8", "echo show", DeviceKind::smartHome},
             {"Café SPEAKER", "speaker", DeviceKind::speaker},
             {"\u212AEYBOARD", "keyboard", DeviceKind::input},  // Kelvin sign lower-cases to k
         }) {
        DeviceFacts facts;
        facts.advertisement.localName = c.name;
        const std::string kindName(rawValue(c.kind));
        EXPECT_EQ(nameClues(facts), (std::vector<Clue>{{c.kind, kindName, none, Certainty::guess,
                                                        "Name \"" + c.name + "\" contains \"" + c.word + "\"" +
                                                            arrow + kindName,
                                                        none}}));
    }

    DeviceFacts facts;
    facts.cachedName = "TV";
    EXPECT_TRUE(nameClues(facts).empty());
    facts.cachedName = "Hue bulb";
    EXPECT_EQ(nameClues(facts).at(0).kind, DeviceKind::smartHome);
    facts.advertisement.localName = "Pixel 8";  // the advertised name comes first
    EXPECT_EQ(nameClues(facts).at(0).kind, DeviceKind::phone);
}

TEST(ShortCompanyName, DropsLegalSuffixesRepeatedly) {
    EXPECT_EQ(shortCompanyName("Apple, Inc."), "Apple");
    EXPECT_EQ(shortCompanyName("Samsung Electronics Co., Ltd."), "Samsung Electronics");
    EXPECT_EQ(shortCompanyName("Google LLC"), "Google");
    EXPECT_EQ(shortCompanyName("Amazon.com Services, Inc."), "Amazon");
    EXPECT_EQ(shortCompanyName("CHIPOLO d.o.o."), "CHIPOLO");
    EXPECT_EQ(shortCompanyName("Microsoft"), "Microsoft");
    EXPECT_EQ(shortCompanyName("Acme Inc. AB"), "Acme");  // " Inc." only goes in the second pass
    EXPECT_EQ(shortCompanyName(" Acme\t"), "Acme");
    EXPECT_EQ(shortCompanyName("Acme inc."), "Acme inc.");
    EXPECT_EQ(shortCompanyName(","), "");
}

TEST(HiddenAppleClue, OnlyForAnOtherwiseEmptyBroadcast) {
    DeviceFacts facts;
    EXPECT_TRUE(hiddenAppleClues(facts).empty());
    facts.appleDataHidden = true;
    facts.advertisement.txPower = 8;
    facts.advertisement.isConnectable = true;
    EXPECT_EQ(identify(facts), (DeviceIdentity{none, DeviceKind::appleDevice, "Apple device (hidden by iOS)",
                                               Certainty::guess,
                                               {"Empty broadcast on iPhone" + arrow +
                                                "iOS removes Apple's data, so probably an Apple device"},
                                               {}}));

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
