#include "core/time/clock_step.h"

#include <gtest/gtest.h>

#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::at;

TEST(ClockStep, TellsHowFarTheWallClockJumpedBeyondTheMonotonicOne) {
    ClockStep step;
    EXPECT_EQ(step.observe(at(0), 100.0), Instant::duration::zero());  // the first reading sets the reference
    EXPECT_EQ(step.observe(at(0.125), 100.125), Instant::duration::zero());
    EXPECT_EQ(step.observe(at(0.65), 100.25), Instant::duration::zero());  // drift within the tolerance
    EXPECT_EQ(step.observe(at(-599.225), 100.375), durationOf(-600));  // set back ten minutes
    EXPECT_EQ(step.observe(at(600.9), 100.5), durationOf(1200));        // forward twenty, as after a sleep
}

}  // namespace
}  // namespace quillmote
