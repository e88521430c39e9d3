#include "core/engine/store_engine.h"

#include <gtest/gtest.h>

#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::at;
using test::lowEnergy;

TEST(StoreEngine, DrainsEveryTickAndRefreshesOnceASecond) {
    SightingBuffer buffer;
    std::vector<std::uint64_t> publishedAt;
    std::size_t recorded = 0;
    std::uint64_t current = 0;
    std::vector<Sighting> pairedNow{test::paired("aa-bb", 0)};
    StoreEngine::Hooks hooks;
    hooks.drained = [&](std::span<const Sighting> drained) { recorded += drained.size(); };
    hooks.pairedDevices = [&]() -> std::optional<std::vector<Sighting>> { return pairedNow; };
    hooks.publish = [&] { publishedAt.push_back(current); };
    StoreEngine engine(buffer, hooks);

    for (current = 0; current < 17; ++current) {
        buffer.append(lowEnergy("A", static_cast<double>(current) * 0.125));
        engine.tick(current, at(static_cast<double>(current) * 0.125));
        EXPECT_EQ(engine.table().record("A")->packetCount, static_cast<std::int64_t>(current + 1));
    }
    EXPECT_EQ(recorded, 17u);
    EXPECT_EQ(publishedAt, (std::vector<std::uint64_t>{0, 8, 16}));  // tick 0 included
    EXPECT_TRUE(engine.table().record("aa-bb"));

    // A device no longer paired leaves at the next refresh; a paired row replayed from a
    // capture, which the reader never listed, stays.
    buffer.append(test::paired("cc-dd", 2.9));
    pairedNow.clear();
    engine.tick(24, at(3));
    EXPECT_FALSE(engine.table().record("aa-bb"));
    EXPECT_TRUE(engine.table().record("cc-dd"));
}

TEST(StoreEngine, TidiesSilentRowsEveryTenMinutesOfTicksButNeverAtTickZero) {
    SightingBuffer buffer;
    int publishes = 0;
    StoreEngine::Hooks hooks;
    hooks.publish = [&] { ++publishes; };
    StoreEngine engine(buffer, hooks);

    buffer.append(lowEnergy("quiet", -1000));
    engine.tick(0, at(0));
    EXPECT_TRUE(engine.table().record("quiet"));  // silent for 1000 s, but tick 0 never tidies
    publishes = 0;
    engine.tick(4799, at(600));
    EXPECT_TRUE(engine.table().record("quiet"));
    engine.tick(4800, at(600));
    EXPECT_FALSE(engine.table().record("quiet"));
    EXPECT_EQ(publishes, 2);  // the once-a-second publish and the one after the tidy
}

TEST(StoreEngine, UnreadablePairedDevicesLeaveThePairedRowsAlone) {
    SightingBuffer buffer;
    bool readable = true;
    StoreEngine::Hooks hooks;
    hooks.pairedDevices = [&]() -> std::optional<std::vector<Sighting>> {
        if (!readable) return std::nullopt;
        return std::vector{test::paired("aa-bb", 0)};
    };
    StoreEngine engine(buffer, hooks);
    engine.tick(0, at(0));
    readable = false;
    engine.tick(8, at(1));
    EXPECT_TRUE(engine.table().record("aa-bb"));
}

TEST(StoreEngine, FindsEveryTickAndSamplesActivityOnceASecond) {
    SightingBuffer buffer;
    std::vector<double> rates;
    std::vector<std::pair<std::size_t, Instant>> samples;
    StoreEngine::Hooks hooks;
    hooks.clickRate = [&](double rate) { rates.push_back(rate); };
    hooks.activity = [&](std::span<const DeviceRecord> records, Instant now) { samples.emplace_back(records.size(), now); };
    StoreEngine engine(buffer, hooks);

    engine.startFinding("A");  // no row yet: nothing starts
    EXPECT_FALSE(engine.findSession());
    for (std::uint64_t n = 0; n < 16; ++n) {
        buffer.append(lowEnergy("A", static_cast<double>(n) * 0.125, -40));
        engine.tick(n, at(static_cast<double>(n) * 0.125));
        if (n == 3) engine.startFinding("A");
    }
    ASSERT_TRUE(engine.findSession());
    EXPECT_EQ(rates.size(), 12u);  // ticks 4 to 15
    EXPECT_DOUBLE_EQ(rates.back(), ClickRate::fastest);
    ASSERT_EQ(samples.size(), 2u);  // ticks 0 and 8
    EXPECT_EQ(samples[1], std::make_pair(std::size_t{1}, at(1)));

    engine.chooseFindCandidate("missing");  // not in the table: the session keeps its target
    EXPECT_EQ(engine.findSession()->targetKey(), "A");
    engine.endFinding();
    engine.tick(16, at(2));
    EXPECT_EQ(rates.size(), 12u);
}

TEST(StoreEngine, AClockSetBackLeavesAgesRatesSmoothingAndTheFindSessionAsTheyWere) {
    SightingBuffer buffer;
    StoreEngine engine(buffer);
    double heardUpTo = -0.1;
    // The device advertises ten times a second; the radio stamps packets on the wall clock.
    auto advertiseUntil = [&](double wall, double shift, int rssi) {
        for (; heardUpTo + 0.1 <= wall - shift + 1e-9; heardUpTo += 0.1)
            buffer.append(lowEnergy("A", heardUpTo + 0.1 + shift, rssi));
    };
    std::uint64_t n = 0;
    for (; n <= 40; ++n) {
        advertiseUntil(n * 0.125, 0, -60);
        engine.tick(n, at(n * 0.125));
        if (n == 8) engine.startFinding("A");
    }
    // One packet stamped on the old clock is still waiting when the clock goes back ten minutes.
    advertiseUntil(5.1, 0, -60);
    const double back = -600;
    engine.wallClockSetBack(durationOf(back), at(41 * 0.125 + back));
    for (; n <= 80; ++n) {
        advertiseUntil(n * 0.125 + back, back, -40);
        engine.tick(n, at(n * 0.125 + back));
    }

    const Instant now = at(80 * 0.125 + back);
    const DeviceRecord& row = *engine.table().record("A");
    EXPECT_NEAR(*row.packetsPerSecond(now), 10.0, 0.5);
    EXPECT_LE(row.lastSeen, now);
    EXPECT_EQ(Recency::of(row, now), Recency::live);
    EXPECT_NEAR(*row.rssi(), -40.0, 1.0);  // smoothing follows the readings after the step
    EXPECT_LT(secondsBetween(row.history.points.back().time, now), 1.0);
    ASSERT_TRUE(engine.findSession());
    EXPECT_EQ(engine.findSession()->status().kind, FindSession::Status::Kind::tracking);
    EXPECT_LE(engine.findSession()->lastHeard(), now);
}

}  // namespace
}  // namespace quillmote
