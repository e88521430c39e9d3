#include "core/signal/signal_ramp.h"

#include <gtest/gtest.h>

#include <limits>

namespace quillmote {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(SignalRamp, SharedRampsInterpolateAndClamp) {
    const SignalRamp& size = SignalRamp::voiceSize();
    EXPECT_DOUBLE_EQ(size.value(-40), 112);
    EXPECT_DOUBLE_EQ(size.value(-53), 112);
    EXPECT_DOUBLE_EQ(size.value(-57), 103);
    EXPECT_DOUBLE_EQ(size.value(-75), 62);
    EXPECT_DOUBLE_EQ(size.value(-88), 33.5);
    EXPECT_DOUBLE_EQ(size.value(std::nullopt), 13);
    EXPECT_DOUBLE_EQ(size.value(-120), 13);
    EXPECT_DOUBLE_EQ(size.value(nan), 13);

    EXPECT_DOUBLE_EQ(SignalRamp::ledgerWeight().value(-79), 540);
    EXPECT_DOUBLE_EQ(SignalRamp::ledgerWeight().value(-95), 220);
    EXPECT_DOUBLE_EQ(SignalRamp::voiceWeight().value(-91.5), 360);
    EXPECT_DOUBLE_EQ(SignalRamp::voiceWidth().value(-77), 91);
    EXPECT_DOUBLE_EQ(SignalRamp::voiceWidth().value(std::nullopt), 62);

    // Built once and shared.
    EXPECT_EQ(&SignalRamp::voiceSize(), &size);
    EXPECT_EQ(size.anchors.size(), 10u);
}

TEST(SignalRamp, DegenerateRamps) {
    SignalRamp empty;
    EXPECT_EQ(empty.value(-60), 0.0);
    EXPECT_EQ(empty.value(std::nullopt), 0.0);

    SignalRamp single{{{-70, 5}}};
    EXPECT_EQ(single.value(-60), 5.0);
    EXPECT_EQ(single.value(-80), 5.0);
    EXPECT_EQ(single.value(std::nullopt), 5.0);
}

TEST(TypeFit, ShrinksWithTheWindowButNotBelowMinimum) {
    EXPECT_DOUBLE_EQ(TypeFit::voice(112, 475), 56);
    EXPECT_DOUBLE_EQ(TypeFit::voice(13, 475), 11);
    EXPECT_DOUBLE_EQ(TypeFit::voice(112, 950), 112);
    EXPECT_DOUBLE_EQ(TypeFit::voice(8, 3000), 11);
    EXPECT_DOUBLE_EQ(TypeFit::voice(112, -10), 11);
    EXPECT_DOUBLE_EQ(TypeFit::voice(112, nan), 11);

    EXPECT_DOUBLE_EQ(TypeFit::ledger(104, 1400), 104);
    EXPECT_DOUBLE_EQ(TypeFit::ledger(104, 350), 52);
    EXPECT_DOUBLE_EQ(TypeFit::ledger(104, nan), 11);
}

}  // namespace
}  // namespace quillmote
