#pragma once

#include <QLocale>
#include <QString>
#include <optional>
#include <string_view>

namespace quillmote {

// "—" without a rate; whole numbers from 10 up; otherwise one fractional digit in
// the locale's style (0.04 → "0.0", 9.96 → "10.0").
QString packetRateLabel(std::optional<double> perSecond, const QLocale& locale = QLocale());

// The signal number without its unit: rounded half away from zero, "—" when absent.
QString dbmText(std::optional<double> rssi);
// A whole number of dBm as signal texts write it, with a true minus sign (U+2212).
QString signalNumber(long long value);

// A radio's text shown as itself: never read as markup, and with the characters
// that could hide or reorder what follows (controls, bidirectional overrides) made
// visible or dropped.
QString plainText(std::string_view text);

// A tooltip that shows `text` literally: Qt reads anything that looks like a tag in
// a tooltip as rich text, so the text goes in escaped inside an explicit rich-text frame.
QString literalToolTip(const QString& text);

}  // namespace quillmote
