#include "app/sleep_inhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace quillmote {
namespace {

// A logind that does not answer must not leave a call open for D-Bus's default 25 s.
constexpr int inhibitTimeoutMs = 5000;

}  // namespace

SleepInhibitor::SleepInhibitor(QDBusConnection bus, QObject* parent) : QObject(parent) {
    auto call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                               QStringLiteral("/org/freedesktop/login1"),
                                               QStringLiteral("org.freedesktop.login1.Manager"),
                                               QStringLiteral("Inhibit"));
    call << QStringLiteral("idle") << QStringLiteral("Quillmote") << QStringLiteral("Listening for Bluetooth devices")
         << QStringLiteral("block");
    // Asynchronous so start-up never waits on logind; any error just means no lock.
    QDBusPendingCall pending = bus.asyncCall(call, inhibitTimeoutMs);
    if (pending.isFinished())
        return;  // failed at once: no system bus
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (!reply.isError() && reply.value().isValid()) {
            lock_ = reply.value();
            emit held();
        }
        w->deleteLater();
    });
}

}  // namespace quillmote
