// The notifier and the sleep inhibitor against real D-Bus peers: a private
// dbus-daemon per test, with python-dbusmock playing the notification server or logind.
#include "app/sleep_inhibitor.h"
#include "app/surge_notifier.h"
#include "tests/support/app_setup.h"
#include "tests/support/private_bus.h"

#include <gtest/gtest.h>

namespace quillmote {
namespace {

using test::waitUntil;

const QString notifications = "org.freedesktop.Notifications";

SurgeEvent episode(double aroundAtStart, double usualAround) {
    SurgeEvent event;
    event.id = randomUuid();
    event.usualAround = usualAround;
    event.aroundAtStart = aroundAtStart;
    event.peakAround = aroundAtStart;
    return event;
}

TEST(SurgeNotifierBody, RoundsHalvesAwayFromZeroToPlainIntegers) {
    // Halves go up, not to the even neighbour; just under a half goes down.
    EXPECT_EQ(SurgeNotifier::body(episode(2.5, 2.49)), "3 devices around (usual 2 at this hour).");
    // Large counts in plain digits, and nothing rounds to "-0".
    EXPECT_EQ(SurgeNotifier::body(episode(1234567, -0.2)), "1234567 devices around (usual 0 at this hour).");
}

class SurgeNotifierTest : public test::PrivateBusTest {
protected:
    void SetUp() override { ASSERT_TRUE(bus->startMock("notification_daemon", notifications, false)); }

    QString calls() { return bus->mockCalls(notifications, "/org/freedesktop/Notifications"); }
};

TEST_F(SurgeNotifierTest, PostSendsOneNotifyAndKeepsTheNotificationId) {
    SurgeNotifier notifier(bus->bus());
    SurgeEvent first = episode(20.5, 9.5);
    notifier.post(first);
    ASSERT_TRUE(waitUntil([&] { return notifier.notificationId(first.id).has_value(); }));

    // Posting never waits for, or asks for, permission. Our name, a new notification
    // rather than a replacement, no icon, no actions, the sound, the server's own timeout.
    EXPECT_FALSE(notifier.alertsAllowed().has_value());
    EXPECT_EQ(calls(), "[('Notify', [<'Quillmote'>, <uint32 0>, <''>, <'Unusual Bluetooth crowd'>, "
                       "<'21 devices around (usual 10 at this hour).'>, <@as []>, "
                       "<{'desktop-entry': <'quillmote'>, 'sound-name': <'message-new-instant'>}>, <-1>])]");

    // The self-test posts the sample only when asked; each episode keeps the id its own
    // notification got. Replies come in the order of the calls.
    notifier.postSelfTestIfRequested(false);
    notifier.postSelfTestIfRequested(true);
    SurgeEvent second = episode(33.4, 12.5);
    notifier.post(second);
    ASSERT_TRUE(waitUntil([&] { return notifier.notificationId(second.id).has_value(); }));
    EXPECT_EQ(notifier.notificationId(first.id), 1u);
    EXPECT_EQ(notifier.notificationId(second.id), 3u);
    EXPECT_TRUE(calls().contains("<'48 devices around (usual 30 at this hour).'>"));
}

TEST_F(SurgeNotifierTest, PermissionFollowsTheServerAndSignalsOnlyChanges) {
    SurgeNotifier notifier(bus->bus());
    int changes = 0;
    QObject::connect(&notifier, &SurgeNotifier::alertsAllowedChanged, [&] { ++changes; });
    notifier.requestPermission();
    ASSERT_TRUE(waitUntil([&] { return notifier.alertsAllowed().has_value(); }));
    EXPECT_EQ(notifier.alertsAllowed(), true);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(calls(), "[('GetServerInformation', @av [])]");

    // The same answer again changes nothing; once the server is gone, alerts are no longer
    // allowed. Answers are handled in order, so a change on the second would be counted.
    notifier.requestPermission();
    ASSERT_TRUE(waitUntil([&] { return calls().count("GetServerInformation") == 2; }));
    bus->stopMocks();
    notifier.requestPermission();
    ASSERT_TRUE(waitUntil([&] { return notifier.alertsAllowed() == false; }));
    EXPECT_EQ(changes, 2);
}

// Without any bus the calls fail at once; the answer still comes from the event loop.
TEST(SurgeNotifierWithoutBus, PermissionIsFalseAndPostsGoNowhere) {
    SurgeNotifier notifier(test::noBus());
    notifier.requestPermission();
    EXPECT_FALSE(notifier.alertsAllowed().has_value());
    ASSERT_TRUE(waitUntil([&] { return notifier.alertsAllowed().has_value(); }));
    EXPECT_EQ(notifier.alertsAllowed(), false);
    const SurgeEvent dropped = episode(48, 30);
    notifier.post(dropped);
    EXPECT_EQ(notifier.notificationId(dropped.id), std::nullopt);
}

using SleepInhibitorTest = test::PrivateBusTest;

TEST_F(SleepInhibitorTest, HoldsAnIdleLockUntilDestroyed) {
    ASSERT_TRUE(bus->startMock("logind", "org.freedesktop.login1", true));
    const auto inhibitors = [&] {
        return bus->call("org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager.ListInhibitors");
    };
    auto inhibitor = std::make_unique<SleepInhibitor>(bus->bus());
    ASSERT_TRUE(waitUntil([&] { return inhibitor->isHeld(); }));
    EXPECT_EQ(inhibitors(), "([('idle', 'Quillmote', 'Listening for Bluetooth devices', 'block', uint32 1000, "
                                "uint32 123456)],)");
    // Closing the descriptor is what releases the lock.
    inhibitor.reset();
    EXPECT_TRUE(waitUntil([&] { return !inhibitors().contains("Quillmote"); }));
}

}  // namespace
}  // namespace quillmote
