#include "core/decoding/manufacturer_data.h"

#include <gtest/gtest.h>

namespace quillmote {
namespace {

std::optional<ManufacturerData> fromBytes(const Bytes& field) { return ManufacturerData::from(ByteView(field)); }

TEST(ManufacturerData, SplitsLittleEndianCompanyFromPayload) {
    EXPECT_EQ(fromBytes({0x4C, 0x00}), (ManufacturerData{ManufacturerData::apple, {}}));
    EXPECT_EQ(fromBytes({0x00, 0x4C, 0xAA}), (ManufacturerData{0x4C00, {0xAA}}));
    EXPECT_EQ(ManufacturerData::from(std::optional<Bytes>({0x06, 0x00, 0x01, 0x09})),
              (ManufacturerData{ManufacturerData::microsoft, {0x01, 0x09}}));

    EXPECT_FALSE(ManufacturerData::from(std::optional<Bytes>{}));
    EXPECT_FALSE(fromBytes({}));
    EXPECT_FALSE(fromBytes({0x4C}));
}

TEST(ManufacturerData, NamesTheCompanyWhenListed) {
    EXPECT_EQ(fromBytes({0x4C, 0x00})->companyName(), "Apple, Inc.");
    EXPECT_EQ(fromBytes({0x06, 0x00})->companyName(), "Microsoft");
    EXPECT_FALSE(fromBytes({0xFF, 0xFF})->companyName());
}

}  // namespace
}  // namespace quillmote
