// The notifier and the sleep inhibitor against real D-Bus peers: a private
// dbus-daemon per test, with python-dbusmock playing the notification server or logind.
#include "app/sleep_inhibitor.h"
#include "app/surge_notifier.h"
#include "tests/support/private_bus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace quillmote {
namespace {

using namespace std::chrono_literals;
using test::MockCall;
using test::PrivateBus;
using test::PrivateBusTest;
using test::mockCalls;
using test::waitUntil;

const QString notificationsName = QStringLiteral("org.freedesktop.Notifications");
const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString logindName = QStringLiteral("org.freedesktop.login1");
const QString logindPath = QStringLiteral("/org/freedesktop/login1");

std::vector<MockCall> notifyCalls(PrivateBus& bus) {
    std::vector<MockCall> notifies;
    for (auto& call : mockCalls(bus.bus(), notificationsName, notificationsPath))
        if (call.method == QStringLiteral("Notify"))
            notifies.push_back(call);
    return notifies;
}

template <typename T>
T decoded(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        return qdbus_cast<T>(value.value<QDBusArgument>());
    return value.value<T>();
}

SurgeEvent episode(double aroundAtStart, double usualAround) {
    SurgeEvent event;
    event.id = randomUuid();
    event.usualAround = usualAround;
    event.aroundAtStart = aroundAtStart;
    event.peakAround = aroundAtStart;
    return event;
}

TEST(SurgeNotifierBody, RoundsHalvesAwayFromZeroToPlainIntegers) {
    EXPECT_EQ(SurgeNotifier::body(episode(20.5, 9.5)), QStringLiteral("21 devices around (usual 10 at this hour)."));
    EXPECT_EQ(SurgeNotifier::body(episode(47.6, 29.5)), QStringLiteral("48 devices around (usual 30 at this hour)."));
    // Halves go up, not to the even neighbour; just under a half goes down.
    EXPECT_EQ(SurgeNotifier::body(episode(2.5, 2.49)), QStringLiteral("3 devices around (usual 2 at this hour)."));
    // Large counts in plain digits, and nothing rounds to "-0".
    EXPECT_EQ(SurgeNotifier::body(episode(1234567, -0.2)),
              QStringLiteral("1234567 devices around (usual 0 at this hour)."));
}

class SurgeNotifierTest : public PrivateBusTest {
protected:
    void SetUp() override {
        PrivateBusTest::SetUp();
        if (HasFatalFailure())
            return;
        startMock(QStringLiteral("notification_daemon"), notificationsName, false);
    }
};

TEST_F(SurgeNotifierTest, PostSendsOneNotifyAndKeepsTheNotificationId) {
    SurgeNotifier notifier(bus->bus());
    SurgeEvent first = episode(20.5, 9.5);
    notifier.post(first);
    ASSERT_TRUE(waitUntil([&] { return notifier.notificationId(first.id).has_value(); }));

    // Posting never waits for, or asks for, permission.
    EXPECT_FALSE(notifier.alertsAllowed().has_value());
    auto calls = notifyCalls(*bus);
    ASSERT_EQ(calls.size(), 1u);
    const QVariantList& args = calls[0].args;
    ASSERT_EQ(args.size(), 8);
    EXPECT_EQ(args[0].toString(), QStringLiteral("Quillmote"));
    EXPECT_EQ(args[1].toUInt(), 0u);
    EXPECT_EQ(args[2].toString(), QString());
    EXPECT_EQ(args[3].toString(), QStringLiteral("Unusual Bluetooth crowd"));
    EXPECT_EQ(args[4].toString(), QStringLiteral("21 devices around (usual 10 at this hour)."));
    EXPECT_TRUE(decoded<QStringList>(args[5]).isEmpty());
    auto hints = decoded<QVariantMap>(args[6]);
    EXPECT_EQ(hints.size(), 2);
    EXPECT_EQ(hints.value(QStringLiteral("sound-name")).toString(), QStringLiteral("message-new-instant"));
    EXPECT_EQ(hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("quillmote"));
    EXPECT_EQ(args[7].toInt(), -1);

    // Each episode keeps the id its own notification got.
    SurgeEvent second = episode(47.6, 29.5);
    notifier.post(second);
    ASSERT_TRUE(waitUntil([&] { return notifier.notificationId(second.id).has_value(); }));
    EXPECT_EQ(notifier.notificationId(first.id), 1u);
    EXPECT_EQ(notifier.notificationId(second.id), 2u);
    calls = notifyCalls(*bus);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].args.value(4).toString(), QStringLiteral("48 devices around (usual 30 at this hour)."));
}

TEST_F(SurgeNotifierTest, SelfTestPostsTheSampleOnlyWhenRequested) {
    SurgeNotifier notifier(bus->bus());
    // Messages on one connection arrive in order, so a post from the unrequested
    // call would show up before the requested one.
    notifier.postSelfTestIfRequested(false);
    notifier.postSelfTestIfRequested(true);
    ASSERT_TRUE(waitUntil([&] { return !notifyCalls(*bus).empty(); }));
    bus->settle();
    auto calls = notifyCalls(*bus);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args.value(3).toString(), QStringLiteral("Unusual Bluetooth crowd"));
    EXPECT_EQ(calls[0].args.value(4).toString(), QStringLiteral("48 devices around (usual 30 at this hour)."));
}

TEST_F(SurgeNotifierTest, PermissionFollowsTheServerAndSignalsOnlyChanges) {
    SurgeNotifier notifier(bus->bus());
    int changes = 0;
    QObject::connect(&notifier, &SurgeNotifier::alertsAllowedChanged, [&] { ++changes; });
    EXPECT_FALSE(notifier.alertsAllowed().has_value());

    notifier.requestPermission();
    ASSERT_TRUE(waitUntil([&] { return notifier.alertsAllowed().has_value(); }));
    EXPECT_EQ(notifier.alertsAllowed(), true);
    EXPECT_EQ(changes, 1);
    auto calls = mockCalls(bus->bus(), notificationsName, notificationsPath);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].method, QStringLiteral("GetServerInformation"));

    // The same answer again changes nothing.
    notifier.requestPermission();
    ASSERT_TRUE(waitUntil([&] { return mockCalls(bus->bus(), notificationsName, notificationsPath).size() == 2; }));
    bus->settle();
    EXPECT_EQ(changes, 1);

    // The server goes away: alerts are no longer allowed.
    bus->stopMocks();
    ASSERT_TRUE(waitUntil([&] { return !bus->hasOwner(notificationsName); }));
    notifier.requestPermission();
    ASSERT_TRUE(waitUntil([&] { return notifier.alertsAllowed() == false; }));
    EXPECT_EQ(changes, 2);
}

using SurgeNotifierWithoutServerTest = PrivateBusTest;

TEST_F(SurgeNotifierWithoutServerTest, PermissionIsFalseWithoutAServerOrABus) {
    SurgeNotifier notifier(bus->bus());
    int changes = 0;
    QObject::connect(&notifier, &SurgeNotifier::alertsAllowedChanged, [&] { ++changes; });
    notifier.requestPermission();
    ASSERT_TRUE(waitUntil([&] { return notifier.alertsAllowed().has_value(); }));
    EXPECT_EQ(notifier.alertsAllowed(), false);
    EXPECT_EQ(changes, 1);
    notifier.requestPermission();
    bus->settle();
    EXPECT_EQ(changes, 1);

    // A connection that never reached a bus answers asynchronously too, with false.
    QDBusConnection nowhere = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/quillmote-bus"),
                                                            QStringLiteral("quillmote-test-nowhere"));
    {
        SurgeNotifier unconnected(nowhere);
        unconnected.requestPermission();
        EXPECT_FALSE(unconnected.alertsAllowed().has_value());
        ASSERT_TRUE(waitUntil([&] { return unconnected.alertsAllowed().has_value(); }));
        EXPECT_EQ(unconnected.alertsAllowed(), false);
        unconnected.post(episode(48, 30));  // silently dropped
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("quillmote-test-nowhere"));
}

// logind's inhibitor list: (what, who, why, mode, uid, pid).
QList<QStringList> inhibitors(PrivateBus& bus) {
    auto request = QDBusMessage::createMethodCall(logindName, logindPath, QStringLiteral("org.freedesktop.login1.Manager"),
                                                  QStringLiteral("ListInhibitors"));
    QDBusMessage reply = bus.bus().call(request);
    QList<QStringList> result;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        ADD_FAILURE() << "ListInhibitors failed: " << reply.errorMessage().toStdString();
        return result;
    }
    const auto arg = reply.arguments().value(0).value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        QString what, who, why, mode;
        quint32 uid = 0, pid = 0;
        arg.beginStructure();
        arg >> what >> who >> why >> mode >> uid >> pid;
        arg.endStructure();
        result << QStringList{what, who, why, mode};
    }
    arg.endArray();
    return result;
}

using SleepInhibitorTest = PrivateBusTest;

TEST_F(SleepInhibitorTest, HoldsAnIdleLockUntilDestroyed) {
    startMock(QStringLiteral("logind"), logindName, true);
    if (HasFatalFailure())
        return;
    auto inhibitor = std::make_unique<SleepInhibitor>(bus->bus());
    ASSERT_TRUE(waitUntil([&] { return inhibitor->isHeld(); }));
    auto held = inhibitors(*bus);
    ASSERT_EQ(held.size(), 1);
    EXPECT_EQ(held[0], (QStringList{QStringLiteral("idle"), QStringLiteral("Quillmote"),
                                    QStringLiteral("Listening for Bluetooth devices"), QStringLiteral("block")}));

    // Closing the descriptor is what releases the lock.
    inhibitor.reset();
    EXPECT_TRUE(waitUntil([&] { return inhibitors(*bus).isEmpty(); }));
}

TEST_F(SleepInhibitorTest, WithoutLogindNothingIsHeldAndNothingThrows) {
    std::unique_ptr<SleepInhibitor> inhibitor;
    ASSERT_NO_THROW(inhibitor = std::make_unique<SleepInhibitor>(bus->bus()));
    bus->settle();
    EXPECT_FALSE(inhibitor->isHeld());

    // The default, the machine's system bus, which a test machine may not have.
    ASSERT_NO_THROW(SleepInhibitor{});
}

}  // namespace
}  // namespace quillmote
