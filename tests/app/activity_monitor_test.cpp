#include "app/activity_monitor.h"

#include <gtest/gtest.h>

#include "tests/support/app_setup.h"
#include "tests/support/private_bus.h"
#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::at;

// `count` named devices all heard at `seconds`.
std::vector<DeviceRecord> crowd(int count, double seconds) {
    std::vector<DeviceRecord> records;
    for (int i = 0; i < count; ++i)
        records.emplace_back(
            test::lowEnergy("D" + std::to_string(i), seconds, -60, test::named("Phone " + std::to_string(i))), false);
    return records;
}

// With python-dbusmock as the desktop's notification server.
class ActivityMonitorTest : public test::PrivateBusTest {
protected:
    void SetUp() override { ASSERT_TRUE(bus->startMock("notification_daemon", notifications, false)); }

    const QString notifications = "org.freedesktop.Notifications";
};

TEST_F(ActivityMonitorTest, ForcedUsualLevelStartsOneEpisodeNotifiesOnceAndStoresIt) {
    test::TempDir dir;
    SurgeNotifier notifier(bus->bus());
    TestSettings settings{dir.path(), 5.0, 3};  // a 3-minute window needs 2 usable minutes
    ActivityMonitor monitor(notifier, settings, Calendar("Europe/Berlin", "de_DE"));
    EXPECT_EQ(monitor.normal(at(0)), (ActivityMonitor::Normal{5.0, std::nullopt, 0}));

    const double start = 30;  // mid-minute, so minute boundaries fall between samples
    for (int s = 0; s <= 5 * 60; ++s) monitor.sample(crowd(16, start + s), at(start + s));
    EXPECT_EQ(monitor.aroundNow(), 16);
    ASSERT_EQ(monitor.surges().size(), 1u);  // 16 ≥ 7.5 and 16 ≥ 15: one episode, not one per minute
    EXPECT_FALSE(monitor.surges()[0].ended);
    EXPECT_DOUBLE_EQ(monitor.surges()[0].usualAround, 5.0);
    EXPECT_EQ(monitor.surges()[0].namedDevices.size(), 16u);
    EXPECT_TRUE(test::waitUntil([&] { return notifier.notificationId(monitor.surges()[0].id).has_value(); }));

    HistoryFiles history(dir.path());
    EXPECT_FALSE(history.loadNamedPresence().days.empty());
    EXPECT_EQ(history.minutes(at(-3600), at(3600)), monitor.minutes());

    // The crowd leaves: the episode ends, in memory and on disk.
    for (int s = 1; s <= 4 * 60; ++s) monitor.sample({}, at(start + 5 * 60 + s));
    EXPECT_TRUE(monitor.surges().at(0).ended);
    EXPECT_EQ(history.loadSurges(), monitor.surges());
    EXPECT_EQ(bus->mockCalls(notifications, "/org/freedesktop/Notifications").count("'Notify'"), 1);
}

TEST(ActivityMonitor, LearnsWithoutHistoryAndLoadKeepsMinutesClosedMeanwhile) {
    test::TempDir dir;
    SurgeNotifier notifier(test::noBus());
    HistoryFiles history(dir.path());
    const Instant earlier = std::chrono::floor<std::chrono::minutes>(at(-7200));
    ASSERT_FALSE(history.append(MinuteRecord{earlier, 60, 3.0, 0, 0, 0, 0}));

    ActivityMonitor monitor(notifier, TestSettings{dir.path(), std::nullopt, std::nullopt},
                            Calendar("America/New_York", "en_US"));
    EXPECT_EQ(monitor.normal(at(0)), (ActivityMonitor::Normal{std::nullopt, std::nullopt, 0}));
    // Two minutes close before the load's answer is handled.
    for (int s = 0; s <= 130; ++s) monitor.sample(crowd(2, s), at(s));
    ASSERT_EQ(monitor.minutes().size(), 2u);

    bool loaded = false;
    QObject::connect(&monitor, &ActivityMonitor::loaded, [&] { loaded = true; });
    monitor.load(at(130));
    ASSERT_TRUE(test::waitUntil([&] { return loaded; }));
    // The stored minute, then the ones closed in memory; those also reached the file,
    // yet none appears twice.
    ASSERT_EQ(monitor.minutes().size(), 3u);
    EXPECT_EQ(monitor.minutes()[0].minute, earlier);
    EXPECT_LT(monitor.minutes()[0].minute, monitor.minutes()[1].minute);
    EXPECT_TRUE(monitor.baseline());
    EXPECT_EQ(monitor.normal(at(130)).learningDays, 0);

    // Months later, a running monitor holds only what the page shows and the files keep.
    const double later = 100 * 86400.0;
    for (int s = 0; s <= 130; ++s) monitor.sample({}, at(later + s));
    ASSERT_FALSE(monitor.minutes().empty());
    EXPECT_GE(monitor.minutes().front().minute, at(later - 31 * 86400.0));
    EXPECT_TRUE(monitor.presence().days.empty());
}

TEST(ActivityMonitor, BasisLabels) {
    const Calendar english("America/New_York", "en_US");
    const Instant monday = *parseISO8601("2026-03-02T15:00:00Z");
    const Instant saturday = *parseISO8601("2026-03-07T15:00:00Z");
    EXPECT_EQ(basisLabel(Baseline::Basis::sameWeekday, monday, english), "Mondays");
    EXPECT_EQ(basisLabel(Baseline::Basis::sameKindOfDay, monday, english), "weekdays");
    EXPECT_EQ(basisLabel(Baseline::Basis::nearbyHours, saturday, english), "weekends, nearby hours");
}

}  // namespace
}  // namespace quillmote
