#include "ui/device_text.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>
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

struct KindLook {
    std::string_view symbol;
    const char* themeName;  // freedesktop icon naming
    const char* badge;      // drawn when the theme has no such icon
};

KindLook kindLook(DeviceKind kind) {
    switch (kind) {
        case DeviceKind::phone: return {"iphone", "phone", "Ph"};
        case DeviceKind::computer: return {"laptopcomputer", "computer-laptop", "PC"};
        case DeviceKind::tablet: return {"ipad", "input-tablet", "Tb"};
        case DeviceKind::earbuds: return {"headphones", "audio-headphones", "Ea"};
        case DeviceKind::speaker: return {"hifispeaker", "audio-speakers", "Sp"};
        case DeviceKind::watch: return {"applewatch", "preferences-system-time", "W"};
        case DeviceKind::tracker: return {"airtag", "find-location", "Tr"};
        case DeviceKind::beacon: return {"dot.radiowaves.left.and.right", "network-wireless", "Be"};
        case DeviceKind::tv: return {"tv", "video-display", "TV"};
        case DeviceKind::input: return {"keyboard", "input-keyboard", "Kb"};
        case DeviceKind::health: return {"heart", "emblem-favorite", "He"};
        case DeviceKind::printer: return {"printer", "printer", "Pr"};
        case DeviceKind::smartHome: return {"house", "go-home", "Ho"};
        case DeviceKind::appleDevice: return {"applelogo", "computer", "A"};
        case DeviceKind::unknown: return {"questionmark.circle", "dialog-question", "?"};
    }
    return {"questionmark.circle", "dialog-question", "?"};
}

QIcon drawnIcon(const char* badge) {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor ink(0x4a, 0x6f, 0xa5);
        painter.setPen(QPen(ink, std::max(1.0, size / 16.0)));
        painter.drawRoundedRect(QRectF(0.5, 0.5, size - 1.0, size - 1.0), size / 4.0, size / 4.0);
        QFont font;
        font.setPixelSize(std::max(6, size * (badge[1] ? 5 : 7) / 12));
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QString::fromLatin1(badge));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

bool hidesOrReorders(char32_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F ||
           c == 0x061C || c == 0xFEFF;
}

}  // namespace

std::string_view kindSymbol(DeviceKind kind) { return kindLook(kind).symbol; }

QIcon kindIcon(DeviceKind kind) {
    const KindLook look = kindLook(kind);
    return QIcon::fromTheme(QString::fromLatin1(look.themeName), drawnIcon(look.badge));
}

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
