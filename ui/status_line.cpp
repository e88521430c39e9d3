#include "ui/status_line.h"

#include <QStringList>
#include <cmath>

#include "core/activity/baseline.h"

namespace quillmote {

QString StatusLine::text() const {
    QStringList parts;
    parts << QString::number(aroundNow) + QStringLiteral(" around");
    if (normal.usual) {
        QString usual = QStringLiteral("usual ") + QString::number(std::llround(*normal.usual)) +
                        QStringLiteral(" at ") + hourName;
        if (basisLabel) usual += QStringLiteral(" (") + *basisLabel + QStringLiteral(")");
        parts << usual;
    } else {
        parts << QStringLiteral("learning normal (") + QString::number(normal.learningDays) + QStringLiteral(" of ") +
                     QString::number(Baseline::daysNeeded) + QStringLiteral(" days)");
    }
    if (alertsAllowed == false) parts << QStringLiteral("alerts off");
    if (historyNotSaved) parts << QStringLiteral("history not saved");
    if (mqttProblem) parts << QStringLiteral("MQTT: ") + *mqttProblem;
    if (showsDevices && clearableCount >= 1) parts << QString::number(clearableCount) + QStringLiteral(" silent");
    return parts.join(QStringLiteral(" · "));
}

}  // namespace quillmote
