// A private dbus-daemon with python-dbusmock peers, shared by the D-Bus tests.
#include "tests/support/private_bus.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

namespace quillmote::test {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    QDeadlineTimer deadline(limit);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

namespace {

const char* busConfig = R"(<busconfig>
  <type>session</type>
  <listen>%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

void stopProcess(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

// The system environment with this bus as both the session and the system bus.
QProcessEnvironment onBus(const QString& address) {
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", address);
    return environment;
}

}  // namespace

PrivateBus::PrivateBus(const QString& listen) {
    QFile config(configDir_.filePath("bus.conf"));
    if (config.open(QIODevice::WriteOnly))
        config.write(QString::fromLatin1(busConfig).arg(listen).toUtf8());
    config.close();
    daemon_.start("dbus-daemon", {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"});
    QDeadlineTimer deadline(std::chrono::seconds(10));
    while (!daemon_.canReadLine() && !deadline.hasExpired() && daemon_.state() != QProcess::NotRunning)
        daemon_.waitForReadyRead(100);
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    // The address names the connection: each bus has its own.
    bus_ = QDBusConnection::connectToBus(address_, address_);
    if (!bus_.isConnected())
        ADD_FAILURE() << "no private bus (install the dbus package: tools/install-deps.sh): "
                      << daemon_.errorString().toStdString() << daemon_.readAllStandardError().toStdString();
}

PrivateBus::~PrivateBus() {
    stopMocks();
    bus_ = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(address_);
    stopProcess(daemon_);
}

bool PrivateBus::hasOwner(const QString& name) { return bus_.interface()->isServiceRegistered(name).value(); }

bool PrivateBus::startMock(const QString& templateName, const QString& name, bool system) {
    QProcess& mock = *mocks_.emplace_back(std::make_unique<QProcess>());
    mock.setProcessEnvironment(onBus(address_));
    // The mock logs every call and signal; unread, a busy test would fill the pipe and stall it.
    mock.setStandardOutputFile(QProcess::nullDevice());
    // The system Python: dbusmock is a distribution package, not in any virtualenv.
    mock.start("/usr/bin/python3", QStringList{"-m", "dbusmock", "--template", templateName} +
                                       (system ? QStringList{"--system"} : QStringList()));
    if (waitUntil([&] { return hasOwner(name) || mock.state() == QProcess::NotRunning; }) && hasOwner(name))
        return true;
    ADD_FAILURE() << "the dbusmock " << templateName.toStdString() << " template never took " << name.toStdString()
                  << " (install python3-dbusmock: tools/install-deps.sh): " << mock.errorString().toStdString()
                  << mock.readAllStandardError().toStdString();
    return false;
}

void PrivateBus::stopMocks() {
    for (auto& mock : mocks_)
        stopProcess(*mock);
    mocks_.clear();
}

QString PrivateBus::call(const QString& service, const QString& path, const QString& method,
                         const QStringList& arguments) {
    QProcess gdbus;
    gdbus.setProcessEnvironment(onBus(address_));
    gdbus.start("gdbus", QStringList{"call", "--system", "-d", service, "-o", path, "-m", method} + arguments);
    if (!gdbus.waitForFinished(10000) || gdbus.exitStatus() != QProcess::NormalExit || gdbus.exitCode() != 0)
        ADD_FAILURE() << "gdbus call " << method.toStdString() << ' ' << arguments.join(' ').toStdString()
                      << " failed: " << gdbus.readAllStandardError().toStdString();
    return QString::fromUtf8(gdbus.readAllStandardOutput()).trimmed();
}

QString PrivateBus::mockCalls(const QString& service, const QString& path) {
    QString calls = call(service, path, "org.freedesktop.DBus.Mock.GetCalls");
    calls.remove(QRegularExpression("(?<=\\()(uint64 )?\\d+, "));
    return calls.mid(1, calls.size() - 3);  // inside the reply's own "(…,)"
}

}  // namespace quillmote::test
