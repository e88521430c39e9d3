#include "core/signal/proximity.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/signal/signal_bars.h"

namespace quillmote {
namespace {

TEST(Proximity, RawValuesRoundTrip) {
    EXPECT_EQ(rawValue(Proximity::far), "Far");
    EXPECT_EQ(rawValue(Proximity::room), "Same room");
    EXPECT_EQ(rawValue(Proximity::near), "Near");
    for (Proximity level : {Proximity::far, Proximity::room, Proximity::near}) {
        EXPECT_EQ(proximityFromRaw(rawValue(level)), level);
    }
    EXPECT_FALSE(proximityFromRaw("near"));
    EXPECT_FALSE(proximityFromRaw("Same"));
    EXPECT_FALSE(proximityFromRaw(""));
    EXPECT_LT(Proximity::far, Proximity::room);
    EXPECT_LT(Proximity::room, Proximity::near);
}

TEST(Proximity, BucketEdges) {
    EXPECT_EQ(bucket(-54.9), Proximity::near);
    EXPECT_EQ(bucket(-55.0), Proximity::room);
    EXPECT_EQ(bucket(-75.0), Proximity::room);
    EXPECT_EQ(bucket(-75.1), Proximity::far);
}

TEST(Proximity, TrackerWalkWithHysteresis) {
    ProximityTracker tracker;
    EXPECT_FALSE(tracker.current);
    EXPECT_EQ(tracker.update(-56), Proximity::room);
    EXPECT_EQ(tracker.current, Proximity::room);
    EXPECT_EQ(tracker.update(-53), Proximity::room);  // shifted −56
    EXPECT_EQ(tracker.update(-51), Proximity::near);
    EXPECT_EQ(tracker.current, Proximity::near);
    EXPECT_EQ(tracker.update(-57), Proximity::near);  // shifted −54
    EXPECT_EQ(tracker.update(-59), Proximity::room);
    EXPECT_EQ(tracker.update(-78), Proximity::room);  // shifted −75 is still the room
    EXPECT_EQ(tracker.update(-78.1), Proximity::far);
    EXPECT_EQ(tracker.update(-72.1), Proximity::far);
    EXPECT_EQ(tracker.update(-72), Proximity::room);

    // The first reading is taken as it is, whatever the margin.
    ProximityTracker first;
    EXPECT_EQ(first.update(-53), Proximity::near);
}

TEST(Proximity, TrackerJumpsTwoLevelsOnlyWhenTheShiftLandsThere) {
    ProximityTracker fromFar{3.0, Proximity::far};
    EXPECT_EQ(fromFar.update(-54), Proximity::far);
    EXPECT_EQ(fromFar.current, Proximity::far);
    EXPECT_EQ(fromFar.update(-51), Proximity::near);

    ProximityTracker fromNear{3.0, Proximity::near};
    EXPECT_EQ(fromNear.update(-77), Proximity::near);
    EXPECT_EQ(fromNear.update(-79), Proximity::far);

    // The margin is the tracker's own.
    ProximityTracker wide{10.0, Proximity::room};
    EXPECT_EQ(wide.update(-46), Proximity::room);
    EXPECT_EQ(wide.update(-44), Proximity::near);
    ProximityTracker none{0.0, Proximity::room};
    EXPECT_EQ(none.update(-54.9), Proximity::near);
}

TEST(SignalBars, OnePerTenDecibelsClamped) {
    EXPECT_EQ(SignalBars::count(std::nullopt), 0);
    EXPECT_EQ(SignalBars::count(-120), 0);
    EXPECT_EQ(SignalBars::count(-100), 0);
    EXPECT_EQ(SignalBars::count(-91), 0);
    EXPECT_EQ(SignalBars::count(-90.01), 0);
    EXPECT_EQ(SignalBars::count(-90), 1);
    EXPECT_EQ(SignalBars::count(-65), 3);
    EXPECT_EQ(SignalBars::count(-50), 5);
    EXPECT_EQ(SignalBars::count(-30), 5);
    EXPECT_EQ(SignalBars::count(std::numeric_limits<double>::quiet_NaN()), 0);
}

}  // namespace
}  // namespace quillmote
