#pragma once
// A private dbus-daemon with python-dbusmock peers, shared by the D-Bus tests.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace quillmote::test {

// Runs the event loop until `done` holds. The deadline only keeps a broken peer
// from hanging the suite; it is not what the tests check.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(15));

void stopProcess(QProcess& process);

// A bus of its own, with no service directories, so nothing real is ever activated on
// it. It serves as both the session and the system bus of the peers it starts.
class PrivateBus {
public:
    // `listen`: a D-Bus server address, for a bus at a path chosen beforehand.
    explicit PrivateBus(const QString& listen = QStringLiteral("unix:tmpdir=/tmp"));
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& error() const { return error_; }
    const QString& address() const { return address_; }
    QDBusConnection& bus() { return *bus_; }

    bool hasOwner(const QString& name);

    // Starts a dbusmock template on this bus and waits for its name; returns an
    // error text, empty on success.
    QString startMock(const QString& templateName, const QString& name, bool system);
    void stopMocks();

    // Runs `gdbus call` on this bus (as its system bus) with the given arguments after
    // "call --system"; returns its output, or sets `error` when it failed.
    QString gdbusCall(const QStringList& arguments, QString* error = nullptr);

    // Every reply sent before this round trip has been read once it returns; the
    // event loop then hands it to its watcher.
    void settle();

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
std::vector<MockCall> mockCalls(QDBusConnection& bus, const QString& service, const QString& path);

// A test with a fresh private bus of its own.
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

}  // namespace quillmote::test
