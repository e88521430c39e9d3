#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <map>
#include <optional>

#include "core/activity/surge_event.h"

namespace quillmote {

// Tells the user, through the desktop's notification server, that an unusual crowd
// has started: one notification per episode. Lives on the main thread; every D-Bus
// call is asynchronous, and a failed delivery is not reported.
class SurgeNotifier : public QObject {
    Q_OBJECT

public:
    static constexpr const char* title = "Unusual Bluetooth crowd";

    explicit SurgeNotifier(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    // Absent until requestPermission() has had its answer.
    std::optional<bool> alertsAllowed() const { return alertsAllowed_; }

    // Alerts count as allowed when a notification server answers on the bus; an
    // error or no answer makes them not allowed.
    void requestPermission();

    // Posts the episode whether or not alerts are allowed: the server decides what
    // is shown.
    void post(const SurgeEvent& event);

    // Posts a made-up episode (usual 30, 48 around) so the notification can be
    // tried without waiting for a real crowd. It is not stored anywhere.
    void postSelfTestIfRequested(bool requested);

    // The id the server gave the episode's notification, once its answer is in.
    std::optional<quint32> notificationId(const Uuid& episode) const;

    // "48 devices around (usual 30 at this hour)."
    static QString body(const SurgeEvent& event);

signals:
    void alertsAllowedChanged();

private:
    QDBusConnection bus_;
    std::optional<bool> alertsAllowed_;
    std::map<Uuid, quint32> notificationIds_;

    void setAlertsAllowed(bool allowed);
};

}  // namespace quillmote
