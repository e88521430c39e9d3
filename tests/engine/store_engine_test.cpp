#include "core/engine/store_engine.h"

#include <gtest/gtest.h>

#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::at;
using test::lowEnergy;

// Tick `n` of the store, 0.125 s after the one before it.
Instant tickTime(std::uint64_t n) { return at(static_cast<double>(n) * 0.125); }

TEST(StoreEngine, DrainsEveryTickRefreshesOnceASecondAndTidiesEveryTenMinutes) {
    SightingBuffer buffer;
    std::vector<std::uint64_t> publishedAt;
    std::uint64_t current = 0;
    std::optional<std::vector<Sighting>> pairedNow = std::vector{test::paired("aa-bb", 0)};
    StoreEngine::Hooks hooks;
    hooks.pairedDevices = [&] { return pairedNow; };
    hooks.publish = [&] { publishedAt.push_back(current); };
    StoreEngine engine(buffer, hooks);

    buffer.append(lowEnergy("quiet", -1000));
    for (current = 0; current < 17; ++current) {
        buffer.append(lowEnergy("A", static_cast<double>(current) * 0.125));
        engine.tick(current, tickTime(current));
        EXPECT_EQ(engine.table().record("A")->packetCount, static_cast<std::int64_t>(current + 1));
    }
    EXPECT_EQ(publishedAt, (std::vector<std::uint64_t>{0, 8, 16}));  // tick 0 included
    EXPECT_TRUE(engine.table().record("quiet"));  // silent for 1000 s, but tick 0 never tidies

    // Unreadable paired devices leave the paired rows alone.
    pairedNow.reset();
    engine.tick(24, at(3));
    EXPECT_TRUE(engine.table().record("aa-bb"));
    // A device no longer paired leaves at the next refresh; a paired row replayed from a
    // capture, which the reader never listed, stays.
    buffer.append(test::paired("cc-dd", 3.9));
    pairedNow.emplace();
    engine.tick(32, at(4));
    EXPECT_FALSE(engine.table().record("aa-bb"));
    EXPECT_TRUE(engine.table().record("cc-dd"));

    engine.tick(4799, at(600));
    EXPECT_TRUE(engine.table().record("quiet"));
    publishedAt.clear();
    current = 4800;
    engine.tick(current, at(600));
    EXPECT_FALSE(engine.table().record("quiet"));
    EXPECT_EQ(publishedAt, (std::vector<std::uint64_t>{4800, 4800}));  // the once-a-second one and one after the tidy
}

TEST(StoreEngine, AFindSessionFollowsEveryTickAndAClockSetBackLeavesAgesAndRatesAsTheyWere) {
    SightingBuffer buffer;
    std::vector<double> rates;
    StoreEngine::Hooks hooks;
    hooks.clickRate = [&](double rate) { rates.push_back(rate); };
    StoreEngine engine(buffer, hooks);
    engine.startFinding("A");  // no row yet: nothing starts
    EXPECT_FALSE(engine.findSession());
    std::uint64_t n = 0;
    // A packet every tick, stamped on the wall clock, which is `shift` seconds off.
    auto run = [&](std::uint64_t until, double shift, int rssi) {
        for (; n <= until; ++n) {
            buffer.append(lowEnergy("A", static_cast<double>(n) * 0.125 + shift, rssi));
            engine.tick(n, addingSeconds(tickTime(n), shift));
            if (n == 8) engine.startFinding("A");
        }
    };
    run(40, 0, -60);
    // One packet stamped on the old clock is still waiting when the clock goes back ten minutes.
    buffer.append(lowEnergy("A", 41 * 0.125, -60));
    engine.wallClockSetBack(durationOf(-600), addingSeconds(tickTime(41), -600));
    run(80, -600, -40);

    const Instant now = addingSeconds(tickTime(80), -600);
    const DeviceRecord& row = *engine.table().record("A");
    EXPECT_NEAR(*row.packetsPerSecond(now), 8.0, 0.5);
    EXPECT_LE(row.lastSeen, now);
    EXPECT_EQ(Recency::of(row, now), Recency::live);
    EXPECT_NEAR(*row.rssi(), -40.0, 1.0);  // smoothing follows the readings after the step
    EXPECT_EQ(engine.findSession().value().status().kind, FindSession::Status::Kind::tracking);
    EXPECT_LE(engine.findSession()->lastHeard(), now);
    EXPECT_EQ(rates.size(), 72u);  // ticks 9 to 80
    EXPECT_GT(rates.back(), rates.front());  // stronger after the step: faster clicks

    engine.chooseFindCandidate("missing");  // not in the table: the session keeps its target
    EXPECT_EQ(engine.findSession().value().targetKey(), "A");
    engine.endFinding();
    engine.tick(81, now);
    EXPECT_EQ(rates.size(), 72u);
}

}  // namespace
}  // namespace quillmote
