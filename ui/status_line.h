#pragma once

#include <QString>
#include <optional>

#include "app/activity_monitor.h"

namespace quillmote {

// What the one-line summary under the title is made of.
struct StatusLine {
    int aroundNow = 0;
    ActivityMonitor::Normal normal;
    QString hourName;                 // the current hour as the locale writes it
    std::optional<QString> basisLabel;
    std::optional<bool> alertsAllowed;
    bool showsDevices = true;
    int clearableCount = 0;
    bool historyNotSaved = false;
    std::optional<QString> mqttProblem;  // "not authorised"

    // "12 around · usual 9 at 3 PM (weekdays) · alerts off · history not saved · MQTT: not authorised · 2 silent"
    QString text() const;
};

}  // namespace quillmote
