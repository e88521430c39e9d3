#include "app/surge_notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <cmath>

namespace quillmote {
namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");

// A server that is on the bus but stuck must not keep the answer open for D-Bus's
// default 25 s.
constexpr int permissionTimeoutMs = 5000;

// Nearest whole number, halves away from zero, as plain decimal digits.
QString wholeNumber(double value) {
    // Adding 0.0 turns a rounded -0 into 0, so "-0" is never written.
    return QString::number(std::round(value) + 0.0, 'f', 0);
}

}  // namespace

SurgeNotifier::SurgeNotifier(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus)) {}

QString SurgeNotifier::body(const SurgeEvent& event) {
    return wholeNumber(event.aroundAtStart) + QStringLiteral(" devices around (usual ") +
           wholeNumber(event.usualAround) + QStringLiteral(" at this hour).");
}

void SurgeNotifier::requestPermission() {
    auto call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("GetServerInformation"));
    QDBusPendingCall pending = bus_.asyncCall(call, permissionTimeoutMs);
    if (pending.isFinished()) {
        // Without a bus the call fails at once and a watcher would never report it;
        // the answer still comes from the event loop, as it does with a bus.
        QMetaObject::invokeMethod(
            this, [this, failed = pending.isError()] { setAlertsAllowed(!failed); }, Qt::QueuedConnection);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        setAlertsAllowed(!w->isError());
        w->deleteLater();
    });
}

void SurgeNotifier::post(const SurgeEvent& event) {
    auto call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    QVariantMap hints{
        {QStringLiteral("sound-name"), QStringLiteral("message-new-instant")},
        {QStringLiteral("desktop-entry"), QStringLiteral("quillmote")},
    };
    call << QStringLiteral("Quillmote") << quint32(0) << QString() << QString::fromUtf8(title) << body(event)
         << QStringList() << hints << qint32(-1);

    const auto keepId = [this, id = event.id](const QDBusPendingCall& done) {
        QDBusPendingReply<quint32> reply = done;
        if (!reply.isError())
            notificationIds_[id] = reply.value();
    };
    QDBusPendingCall pending = bus_.asyncCall(call);
    // Finished already: failed at once (no bus), or answered before we looked, since
    // replies are read on QtDBus's own thread.
    if (pending.isFinished()) {
        keepId(pending);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [keepId](QDBusPendingCallWatcher* w) {
        keepId(*w);
        w->deleteLater();
    });
}

void SurgeNotifier::postSelfTestIfRequested(bool requested) {
    if (!requested)
        return;
    SurgeEvent sample;
    sample.id = randomUuid();
    sample.started = std::chrono::time_point_cast<Instant::duration>(std::chrono::system_clock::now());
    sample.usualAround = 30;
    sample.aroundAtStart = 48;
    sample.peakAround = 48;
    post(sample);
}

std::optional<quint32> SurgeNotifier::notificationId(const Uuid& episode) const {
    auto found = notificationIds_.find(episode);
    if (found == notificationIds_.end())
        return std::nullopt;
    return found->second;
}

void SurgeNotifier::setAlertsAllowed(bool allowed) {
    if (alertsAllowed_ == allowed)
        return;
    alertsAllowed_ = allowed;
    emit alertsAllowedChanged();
}

}  // namespace quillmote
