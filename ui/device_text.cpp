#include "ui/device_text.h"

#include <cmath>

namespace quillmote {

QString packetRateLabel(std::optional<double> perSecond, const QLocale& locale) {
    if (!perSecond || !std::isfinite(*perSecond)) return QStringLiteral("—");
    if (*perSecond >= 10) return locale.toString(std::llround(*perSecond));
    return locale.toString(*perSecond, 'f', 1);
}

QString dbmText(std::optional<double> rssi) {
    if (!rssi || !std::isfinite(*rssi)) return QStringLiteral("—");
    // Far past anything a radio reports, rounding would overflow.
    if (std::abs(*rssi) >= 1e6) return QStringLiteral("—");
    return signalNumber(std::llround(*rssi));  // halves away from zero
}

QString signalNumber(long long value) {
    if (value >= 0) return QString::number(value);
    return QString(QChar(0x2212)) + QString::number(-value);
}

namespace {

bool hidesOrReorders(char32_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F ||
           c == 0x061C || c == 0xFEFF;
}

}  // namespace

QString plainText(std::string_view text) {
    const QString decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QString shown;
    shown.reserve(decoded.size());
    for (char32_t c : decoded.toUcs4()) {
        if (hidesOrReorders(c)) continue;
        if (c < 0x20 || c == 0x7F) {
            // Control pictures (U+2400…) keep a stray control visible without acting on it.
            shown += QChar(static_cast<char16_t>(c == 0x7F ? 0x2421 : 0x2400 + c));
        } else if (c >= 0x80 && c < 0xA0) {
            shown += QChar(0xFFFD);
        } else {
            shown += QString::fromUcs4(&c, 1);
        }
    }
    return shown;
}

QString literalToolTip(const QString& text) {
    if (text.isEmpty()) return {};
    return QStringLiteral("<qt>") + text.toHtmlEscaped() + QStringLiteral("</qt>");
}

}  // namespace quillmote
