// The notifier and the sleep inhibitor against real D-Bus peers: a private
// dbus-daemon per test, with python-dbusmock playing the notification server or logind.
#include "app/sleep_inhibitor.h"
#include "app/surge_notifier.h"

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

const QString notificationsName = QStringLiteral("org.freedesktop.Notifications");
const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString logindName = QStringLiteral("org.freedesktop.login1");
const QString logindPath = QStringLiteral("/org/freedesktop/login1");

// Runs the event loop until `done` holds. The deadline only keeps a broken peer
// from hanging the suite; it is not what the tests check.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 15s) {
    QDeadlineTimer deadline(limit);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void stopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

// A bus of its own: no service directories, so nothing real is ever activated on it.
const char* busConfig = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

class PrivateBus {
public:
    PrivateBus() {
        if (!configDir_.isValid()) {
            error_ = QStringLiteral("cannot create a temporary folder for the bus configuration");
            return;
        }
        QFile config(configDir_.filePath(QStringLiteral("bus.conf")));
        if (!config.open(QIODevice::WriteOnly) || config.write(busConfig) < 0) {
            error_ = QStringLiteral("cannot write the bus configuration");
            return;
        }
        config.close();

        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(10000)) {
            error_ = QStringLiteral("dbus-daemon could not be started (install the dbus package: tools/install-deps.sh): ") +
                     daemon_.errorString();
            return;
        }
        QDeadlineTimer deadline(10s);
        while (!daemon_.canReadLine() && !deadline.hasExpired() && daemon_.state() == QProcess::Running)
            daemon_.waitForReadyRead(100);
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        if (address_.isEmpty()) {
            error_ = QStringLiteral("dbus-daemon printed no address: ") + QString::fromUtf8(daemon_.readAllStandardError());
            return;
        }

        static int serial = 0;
        connectionName_ = QStringLiteral("quillmote-test-bus-%1").arg(++serial);
        bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, connectionName_));
        if (!bus_->isConnected())
            error_ = QStringLiteral("cannot connect to the private bus: ") + bus_->lastError().message();
    }

    ~PrivateBus() {
        for (auto& mock : mocks_)
            stopProcess(*mock);
        bus_.reset();
        if (!connectionName_.isEmpty())
            QDBusConnection::disconnectFromBus(connectionName_);
        stopProcess(daemon_);
    }

    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& error() const { return error_; }
    QDBusConnection& bus() { return *bus_; }

    bool hasOwner(const QString& name) { return bus_->interface()->isServiceRegistered(name).value(); }

    // Starts a dbusmock template on this bus and waits for its name; returns an
    // error text, empty on success.
    QString startMock(const QString& templateName, const QString& name, bool system) {
        auto mock = std::make_unique<QProcess>();
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address_);
        mock->setProcessEnvironment(environment);
        QStringList arguments{QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"), templateName};
        if (system)
            arguments << QStringLiteral("--system");
        // The system Python: dbusmock is a distribution package, not in any virtualenv.
        mock->start(QStringLiteral("/usr/bin/python3"), arguments);
        if (!mock->waitForStarted(10000))
            return QStringLiteral("/usr/bin/python3 could not be started: ") + mock->errorString();
        QProcess* process = mock.get();
        mocks_.push_back(std::move(mock));
        if (!waitUntil([&] { return hasOwner(name) || process->state() == QProcess::NotRunning; }))
            return QStringLiteral("the dbusmock %1 template never took %2").arg(templateName, name);
        if (!hasOwner(name))
            return QStringLiteral("python-dbusmock failed (install python3-dbusmock: tools/install-deps.sh): ") +
                   QString::fromUtf8(process->readAllStandardError());
        return {};
    }

    void stopMocks() {
        for (auto& mock : mocks_)
            stopProcess(*mock);
    }

    // Every reply sent before this round trip has been read once it returns; the
    // event loop then hands it to its watcher.
    void settle() {
        hasOwner(QStringLiteral("org.freedesktop.DBus"));
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

private:
    QTemporaryDir configDir_;
    QProcess daemon_;
    QString address_;
    QString connectionName_;
    QString error_;
    std::unique_ptr<QDBusConnection> bus_;
    std::vector<std::unique_ptr<QProcess>> mocks_;
};

struct MockCall {
    QString method;
    QVariantList args;
};

// What the mock was asked, in order (org.freedesktop.DBus.Mock.GetCalls, a(tsav)).
std::vector<MockCall> mockCalls(QDBusConnection& bus, const QString& service, const QString& path) {
    auto request = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Mock"),
                                                  QStringLiteral("GetCalls"));
    QDBusMessage reply = bus.call(request);
    std::vector<MockCall> calls;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        ADD_FAILURE() << "GetCalls failed: " << reply.errorMessage().toStdString();
        return calls;
    }
    const auto arg = reply.arguments().value(0).value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        MockCall call;
        quint64 time = 0;
        arg.beginStructure();
        arg >> time >> call.method;
        arg.beginArray();
        while (!arg.atEnd()) {
            QDBusVariant value;
            arg >> value;
            call.args << value.variant();
        }
        arg.endArray();
        arg.endStructure();
        calls.push_back(call);
    }
    arg.endArray();
    return calls;
}

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

class PrivateBusTest : public ::testing::Test {
protected:
    std::unique_ptr<PrivateBus> bus;

    void SetUp() override {
        bus = std::make_unique<PrivateBus>();
        ASSERT_TRUE(bus->error().isEmpty()) << bus->error().toStdString();
    }

    void TearDown() override { bus.reset(); }

    void startMock(const QString& templateName, const QString& name, bool system) {
        QString error = bus->startMock(templateName, name, system);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    }
};

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
