#include "app/sleep_inhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaObject>

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
    // Finished already: failed at once (no system bus), or answered before we looked,
    // since replies are read on QtDBus's own thread. `held` still comes from the loop.
    if (pending.isFinished()) {
        QMetaObject::invokeMethod(this, [this, pending] { keep(pending); }, Qt::QueuedConnection);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        keep(*w);
        w->deleteLater();
    });
}

void SleepInhibitor::keep(const QDBusPendingCall& done) {
    QDBusPendingReply<QDBusUnixFileDescriptor> reply = done;
    if (!reply.isError() && reply.value().isValid()) {
        lock_ = reply.value();
        emit held();
    }
}

}  // namespace quillmote
