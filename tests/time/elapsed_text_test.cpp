#include "core/time/elapsed_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quillmote {
namespace {

TEST(ElapsedText, TheLargestUnitAndTheOneBelowIt) {
    EXPECT_EQ(elapsedText(125, "en_US"), "2 min, 5 sec");
    EXPECT_EQ(elapsedText(125.99, "en_US"), "2 min, 5 sec");  // whole seconds, never rounded up
    EXPECT_EQ(elapsedText(3600 + 12 * 60 + 40, "en_US"), "1 hr, 12 min");  // seconds dropped below hours
    EXPECT_EQ(elapsedText(2 * 86400 + 3 * 3600, "en_US"), "2 days, 3 hr");
    // A zero lower unit is left out rather than read as "0 min".
    EXPECT_EQ(elapsedText(3600 + 30, "en_US"), "1 hr");
    EXPECT_EQ(elapsedText(125, "de_DE"), "2 Min., 5 Sek.");  // in the user's language
}

TEST(ElapsedText, NothingOddForTheFirstMomentOrABadClock) {
    EXPECT_EQ(elapsedText(0.4, "en_US"), "0 sec");
    // A first sighting stamped slightly in the future (clock steps) reads as now.
    EXPECT_EQ(elapsedText(-3, "en_US"), "0 sec");
    EXPECT_EQ(elapsedText(std::nan(""), "en_US"), "0 sec");
    EXPECT_FALSE(elapsedText(std::numeric_limits<double>::infinity(), "en_US").empty());
}

}  // namespace
}  // namespace quillmote
