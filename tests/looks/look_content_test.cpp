#include "core/looks/look_content.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/looks/look.h"
#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::lowEnergy;
using test::paired;

TEST(LookText, ReadingsRoundAwayFromZeroWithATrueMinus) {
    const std::string minus = "\u2212";
    const struct {
        std::optional<double> rssi;
        std::string text;
    } cases[] = {
        {-0.4, "0"},       {-0.5, minus + "1"},   {-67.5, minus + "68"}, {-67.4, minus + "67"},
        {3.5, "4"},        {0.6, "1"},            {0.0, "0"},            {std::nullopt, "—"},   {std::nan(""), "—"},
    };
    for (const auto& c : cases) EXPECT_EQ(LookText::dbm(c.rssi), c.text) << c.rssi.value_or(999);
}

TEST(Look, ParsesOnlyExactNames) {
    for (Look look : allLooks) EXPECT_EQ(lookFromRaw(rawValue(look)), look);
    for (const char* other : {"ledger", "LEDGER", " Ledger", "", "Classic"}) EXPECT_FALSE(lookFromRaw(other)) << other;
}

TEST(LookContent, SplitsTheRowsAndNotesOnlyTheSelection) {
    Advertisement ad;
    ad.manufacturerData = Bytes{0x4C, 0x00, 0x10, 0x05};
    const DeviceRecord phone(lowEnergy("A", 0, -48, ad), false);
    const DeviceRecord headphones(paired("P", 0), false);
    const DeviceRecord tag(lowEnergy("B", 0, -80), false);
    const std::vector<DeviceRecord> visible{phone, headphones, tag};

    const LookContent none = lookContent(visible, std::nullopt, 7);
    ASSERT_EQ(none.heard.size(), 2u);
    EXPECT_EQ(none.heard[0].id, "A");
    EXPECT_EQ(none.heard[1].id, "B");
    ASSERT_EQ(none.paired.size(), 1u);
    EXPECT_EQ(none.paired[0].id, "P");
    EXPECT_EQ(none.headline, "7 devices around this computer");
    EXPECT_FALSE(none.notes);

    const LookContent some = lookContent(visible, phone, 7);
    ASSERT_TRUE(some.notes);
    EXPECT_EQ(*some.notes, selectionNotes(phone));
}

TEST(SelectionNotes, EachLineOnlyWhenItHasSomethingToSay) {
    Advertisement ad;
    ad.manufacturerData = Bytes{0x4C, 0x00, 0x10, 0x05};
    DeviceRecord phone(lowEnergy("A", 0, -48, ad), false);
    phone.identity.evidence = {"Apple's company code", "Nearby Info message"};
    const SelectionNotes full = selectionNotes(phone);
    EXPECT_EQ(full.proximity, "Near");
    EXPECT_EQ(full.evidence, "Apple's company code\nNearby Info message");
    EXPECT_EQ(full.hex, hexString(*ad.manufacturerData));
    EXPECT_EQ(full.certainty, label(phone.identity.certainty));

    // A bucket reached earlier says nothing once the smoothed signal is gone.
    phone.smoother.value.reset();
    EXPECT_FALSE(selectionNotes(phone).proximity);

    DeviceRecord bare(lowEnergy("B", 0, std::nullopt), false);
    bare.identity.evidence.clear();
    const SelectionNotes little = selectionNotes(bare);
    EXPECT_FALSE(little.proximity);
    EXPECT_FALSE(little.evidence);
    EXPECT_FALSE(little.hex);
    EXPECT_FALSE(little.certainty.empty());
}

}  // namespace
}  // namespace quillmote
