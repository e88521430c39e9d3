// A private dbus-daemon with python-dbusmock peers, shared by the D-Bus tests.
#include "tests/support/private_bus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QThread>

#include <gtest/gtest.h>

namespace quillmote::test {

using namespace std::chrono_literals;

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

void stopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

namespace {

const char* busConfig = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
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

}  // namespace

PrivateBus::PrivateBus(const QString& listen) {
    if (!configDir_.isValid()) {
        error_ = QStringLiteral("cannot create a temporary folder for the bus configuration");
        return;
    }
    QFile config(configDir_.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly) || config.write(QString::fromLatin1(busConfig).arg(listen).toUtf8()) < 0) {
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

PrivateBus::~PrivateBus() {
    for (auto& mock : mocks_)
        stopProcess(*mock);
    bus_.reset();
    if (!connectionName_.isEmpty())
        QDBusConnection::disconnectFromBus(connectionName_);
    stopProcess(daemon_);
}

bool PrivateBus::hasOwner(const QString& name) { return bus_->interface()->isServiceRegistered(name).value(); }

QString PrivateBus::startMock(const QString& templateName, const QString& name, bool system) {
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

void PrivateBus::stopMocks() {
    for (auto& mock : mocks_)
        stopProcess(*mock);
    mocks_.clear();
}

QString PrivateBus::gdbusCall(const QStringList& arguments, QString* error) {
    QProcess gdbus;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address_);
    gdbus.setProcessEnvironment(environment);
    gdbus.start(QStringLiteral("gdbus"), QStringList{QStringLiteral("call"), QStringLiteral("--system")} + arguments);
    const bool finished = gdbus.waitForFinished(10000);
    const QString output = QString::fromUtf8(gdbus.readAllStandardOutput());
    if (!finished || gdbus.exitStatus() != QProcess::NormalExit || gdbus.exitCode() != 0) {
        const QString why = QStringLiteral("gdbus call %1 failed: %2")
                                .arg(arguments.join(QLatin1Char(' ')), QString::fromUtf8(gdbus.readAllStandardError()));
        if (error)
            *error = why;
        else
            ADD_FAILURE() << why.toStdString();
    }
    return output;
}

void PrivateBus::settle() {
    hasOwner(QStringLiteral("org.freedesktop.DBus"));
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

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

}  // namespace quillmote::test
