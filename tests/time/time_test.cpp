#include "core/time/instant.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/time/clock_step.h"
#include "core/time/elapsed_text.h"
#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using namespace std::chrono;

TEST(Instant, FormatsUTCWithExactlyThreeFractionalDigits) {
    Instant t = sys_days(2026y / March / 1) + 14h + 5min + 9s + 250ms;
    EXPECT_EQ(formatISO8601(t), "2026-03-01T14:05:09.250Z");
    // Sub-millisecond parts never round up into the next second.
    EXPECT_EQ(formatISO8601(t + 999us), "2026-03-01T14:05:09.250Z");
    EXPECT_EQ(formatISO8601(sys_days(2026y / December / 31) + 23h + 59min + 59s + 999ms + 999us),
              "2026-12-31T23:59:59.999Z");
    // Before 1970 the fraction still counts forward within the second.
    EXPECT_EQ(formatISO8601(sys_days(1969y / December / 31) + 23h + 59min + 59s + 500ms),
              "1969-12-31T23:59:59.500Z");
}

TEST(Instant, ParsesTheCaptureFormsAndRoundTrips) {
    Instant whole = sys_days(2026y / March / 1) + 14h + 5min + 9s;
    EXPECT_EQ(parseISO8601("2026-03-01T14:05:09Z"), whole);
    EXPECT_EQ(parseISO8601("2026-03-01T14:05:09.250Z"), whole + 250ms);
    EXPECT_EQ(parseISO8601("2026-03-01T14:05:09.5Z"), whole + 500ms);
    EXPECT_EQ(parseISO8601("2026-03-01T15:05:09.250+01:00"), whole + 250ms);
    EXPECT_EQ(parseISO8601("2026-03-01T09:35:09-04:30"), whole);
    for (auto text : {"2024-02-29T00:00:00.000Z", "1999-12-31T23:59:59.999Z", "2026-03-01T14:05:09.001Z",
                      "0001-01-01T00:00:00.000Z", "9999-12-31T23:59:59.999Z"})
        EXPECT_EQ(formatISO8601(*parseISO8601(text)), text);
}

TEST(Instant, ArithmeticNeverOverflowsOnAbsurdSpans) {
    // Offsets between year 1 and year 9999 fit; beyond anything representable they clamp.
    Instant first = *parseISO8601("0001-01-01T00:00:00Z");
    Instant last = *parseISO8601("9999-12-31T23:59:59Z");
    EXPECT_EQ(addingSeconds(first, secondsBetween(first, last)), last);
    EXPECT_EQ(durationOf(-1e300), durationOf(-1e30));
    EXPECT_EQ(durationOf(std::nan("")), Instant::duration::zero());
}

TEST(Instant, RejectsWhatIsNoInstant) {
    for (auto text : {"", "yesterday", "2026-03-01", "2026-03-01T14:05:09", "2026-03-01 14:05:09Z",
                      "2026-3-01T14:05:09Z", "2026-03-01T14:05:09.Z", "2026-03-01T14:05:09.250ZZ",
                      "2026-02-29T00:00:00Z", "2026-13-01T00:00:00Z", "2026-03-01T24:00:00Z",
                      "2026-03-01T14:60:00Z", "2026-03-01T14:05:60Z", "2026-03-01T14:05:09+0100",
                      "2026-03-01t14:05:09z", " 2026-03-01T14:05:09Z"})
        EXPECT_FALSE(parseISO8601(text)) << text;
}

TEST(ClockStep, TellsHowFarTheWallClockJumpedBeyondTheMonotonicOne) {
    using test::at;
    ClockStep step;
    EXPECT_EQ(step.observe(at(0), 100.0), Instant::duration::zero());  // the first reading sets the reference
    EXPECT_EQ(step.observe(at(0.125), 100.125), Instant::duration::zero());
    EXPECT_EQ(step.observe(at(0.65), 100.25), Instant::duration::zero());  // drift within the tolerance
    EXPECT_EQ(step.observe(at(-599.225), 100.375), durationOf(-600));  // set back ten minutes
    EXPECT_EQ(step.observe(at(600.9), 100.5), durationOf(1200));        // forward twenty, as after a sleep
}

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
}

}  // namespace
}  // namespace quillmote
