#pragma once
// A private dbus-daemon with python-dbusmock peers, shared by the D-Bus tests.

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

// gtest shows texts as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace quillmote::test {

// Runs the event loop until `done` holds. The deadline only keeps a broken peer
// from hanging the suite; it is not what the tests check.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(15));

// A bus of its own, with no service directories, so nothing real is ever activated on
// it. It serves as both the session and the system bus of the peers it starts. What
// cannot be set up fails the running test.
class PrivateBus {
public:
    // `listen`: a D-Bus server address, for a bus at a path chosen beforehand.
    explicit PrivateBus(const QString& listen = QStringLiteral("unix:tmpdir=/tmp"));
    ~PrivateBus();

    const QString& address() const { return address_; }
    QDBusConnection& bus() { return bus_; }
    bool hasOwner(const QString& name);

    // Starts a dbusmock template on this bus and waits for it to take its name.
    bool startMock(const QString& templateName, const QString& name, bool system);
    void stopMocks();

    // `gdbus call` on this bus, arguments in gdbus's text form; returns its answer.
    QString call(const QString& service, const QString& path, const QString& method, const QStringList& arguments = {});
    // What the mock object was asked, in order, as gdbus writes it without the times:
    // "[('Method', [<argument>, …]), …]".
    QString mockCalls(const QString& service, const QString& path);

private:
    QTemporaryDir configDir_;
    QProcess daemon_;
    QString address_;
    QDBusConnection bus_{QString()};
    std::vector<std::unique_ptr<QProcess>> mocks_;
};

// A test with a fresh private bus of its own.
class PrivateBusTest : public ::testing::Test {
protected:
    std::unique_ptr<PrivateBus> bus = std::make_unique<PrivateBus>();
};

}  // namespace quillmote::test
