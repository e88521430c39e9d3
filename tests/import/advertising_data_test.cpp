#include "core/import/advertising_data.h"

#include <gtest/gtest.h>

#include "core/sightings/fixture.h"

// Expected advertisements name only the fields they have; the rest stay empty on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace quillmote {
namespace {

Bytes hex(std::string_view text) { return *bytesFromHex(text); }

std::string repeated(std::string_view text, std::size_t times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
}

TEST(AdvertisingData, EachStructureLandsWhereTheBluezPathPutsIt) {
    Bytes longBadName{201, 0x09};
    longBadName.resize(202, 0xFF);
    const struct {
        Bytes data;
        Advertisement expected;
        bool cut = false;
    } cases[] = {
        {hex("02 01 06 05 09 4B 65 74 74 05 03 0F 18 0A 18"),
         Advertisement{.localName = "Kett", .serviceUUIDs = {"180F", "180A"},
                       .otherFields = {{"AdvertisingFlags", "06"}}}},
        // The complete name wins whichever comes first; the shortened one stands alone.
        {hex("04 09 41 42 43 03 08 41 42"), Advertisement{.localName = "ABC"}},
        {hex("03 08 41 42"), Advertisement{.localName = "AB"}},
        // 32-bit UUIDs shorten when they fit; 128-bit ones arrive reversed; repeats are dropped.
        {hex("09 05 0F 18 00 00 78 56 34 12 11 07 9E CA DC 24 0E E5 A9 E0 93 F3 A3 B5 01 00 40 6E "
             "11 06 FB 34 9B 5F 80 00 00 80 00 10 00 00 0F 18 00 00"),
         Advertisement{.serviceUUIDs = {"180F", "12345678-0000-1000-8000-00805F9B34FB",
                                        "6E400001-B5A3-F393-E0A9-E50E24DCCA9E"}}},
        {hex("03 14 0D 18 05 1F 0E 18 00 00 11 15 9E CA DC 24 0E E5 A9 E0 93 F3 A3 B5 01 00 40 6E"),
         Advertisement{.solicitedServiceUUIDs = {"180D", "180E", "6E400001-B5A3-F393-E0A9-E50E24DCCA9E"}}},
        {hex("05 16 AA FE 10 00 07 20 78 56 34 12 01 02 11 21 9E CA DC 24 0E E5 A9 E0 93 F3 A3 B5 01 00 40 6E "
             "02 16 AA"),
         Advertisement{.serviceData = {{"FEAA", hex("10 00")},
                          {"12345678-0000-1000-8000-00805F9B34FB", hex("01 02")},
                          {"6E400001-B5A3-F393-E0A9-E50E24DCCA9E", {}}}}},
        // Manufacturer data as sent; too short for a company identifier, it is nothing.
        {hex("02 FF 4C 05 FF 4C 00 02 15 03 FF 06 00"), Advertisement{.manufacturerData = hex("4C 00 02 15")}},
        {hex("02 0A F4 03 19 C1 03 01 0A"), Advertisement{.txPower = -12, .otherFields = {{"Appearance", "961"}}}},
        // Other types as BlueZ's AdvertisingData map: a repeated type keeps its place.
        {hex("03 24 0A FF 02 2A 07 03 24 0B 0C 01 2B"),
         Advertisement{.otherFields = {{"AdvertisingData", "{36: 0B 0C, 42: 07}"}}}},
        {hex("02 0A F4 00 02 0A 01"), Advertisement{.txPower = -12}},
        {hex("02 0A F4 05 09 41 42"), Advertisement{.txPower = -12}, true},
        // Bytes that are not UTF-8 become U+FFFD, padding NULs go, and the bound cuts
        // between characters.
        {hex("07 09 41 FF 42 C3 00 00"), Advertisement{.localName = "A\uFFFDB\uFFFD"}},
        {longBadName, Advertisement{.localName = repeated("\uFFFD", 82)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(hexString(c.data));
        bool cut = false;
        const Advertisement ad = advertisementFromData(c.data, &cut);
        EXPECT_EQ(ad, c.expected);
        EXPECT_EQ(cut, c.cut);
        // Stored and read back unchanged: everything held is valid UTF-8.
        const std::vector<Sighting> sightings{Sighting(SightingSource::lowEnergy, "K", {}, std::nullopt, {}, ad)};
        EXPECT_EQ(Fixture::decode(Fixture::encode(sightings)), sightings);
    }
}

}  // namespace
}  // namespace quillmote
