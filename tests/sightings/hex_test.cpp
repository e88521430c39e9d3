#include "core/sightings/hex.h"

#include <gtest/gtest.h>

namespace quillmote {
namespace {

TEST(Hex, ByteAccessorsStayInsideTheData) {
    Bytes three{0x01, 0x02, 0x03};
    EXPECT_EQ(byteAt(three, 2), 0x03);
    EXPECT_FALSE(byteAt(three, 3));
    EXPECT_FALSE(byteAt(three, -1));
    EXPECT_FALSE(byteAt(Bytes{}, 0));

    Bytes two{0x01, 0x02};
    EXPECT_EQ(uint16BigEndian(two, 0), 258);
    EXPECT_FALSE(uint16BigEndian(two, 1));
    EXPECT_FALSE(uint16BigEndian(two, -1));

    auto tail = bytesFrom(three, 1);
    ASSERT_EQ(tail.size(), 2u);
    EXPECT_EQ(byteAt(tail, 0), 0x02);  // a slice counts from its own start
    EXPECT_EQ(bytesFrom(three, 1, 10).size(), 2u);
    EXPECT_EQ(bytesFrom(three, 0, 2).size(), 2u);
    EXPECT_TRUE(bytesFrom(three, 3).empty());
    EXPECT_TRUE(bytesFrom(three, 99, 1).empty());
}

TEST(Hex, WritesUpperCasePairsAndReadsLeniently) {
    EXPECT_EQ(hexString(Bytes{}), "");
    EXPECT_EQ(hexString(Bytes{0x0A, 0xFF}), "0A FF");
    EXPECT_EQ(hexString(Bytes{0x00}), "00");

    auto plain = bytesFromHex("4C0010020B0C");
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, (Bytes{0x4C, 0x00, 0x10, 0x02, 0x0B, 0x0C}));
    EXPECT_EQ(bytesFromHex("4c:00 10-02\n0b-0c"), plain);
    EXPECT_EQ(bytesFromHex(hexString(*plain)), plain);

    EXPECT_FALSE(bytesFromHex("ABC"));
    EXPECT_FALSE(bytesFromHex("A B C"));
    EXPECT_EQ(bytesFromHex(""), Bytes{});
    EXPECT_EQ(bytesFromHex("---"), Bytes{});
    EXPECT_EQ(bytesFromHex("zz"), Bytes{});  // no digits at all: empty, not a failure
}

TEST(Hex, Hex4IsFourZeroPaddedUpperCaseDigits) {
    EXPECT_EQ(hex4(0x004C), "004C");
    EXPECT_EQ(hex4(0xFEAA), "FEAA");
    EXPECT_EQ(hex4(0), "0000");
}

}  // namespace
}  // namespace quillmote
