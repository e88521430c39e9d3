#pragma once

#include <QColor>
#include <QPalette>

namespace quillmote {

// The named tints the signal views share. Fixed hues read the same on light and
// dark palettes; the faint ones derive from the palette's text colour.
namespace SignalColours {

inline QColor blue() { return QColor(0x0A, 0x84, 0xFF); }
inline QColor green() { return QColor(0x30, 0xD1, 0x58); }
inline QColor orange() { return QColor(0xFF, 0x95, 0x00); }
inline QColor red() { return QColor(0xFF, 0x3B, 0x30); }

inline QColor withAlpha(QColor colour, double alpha) {
    colour.setAlphaF(static_cast<float>(alpha));
    return colour;
}

// Text that steps back behind the primary text.
inline QColor secondary(const QPalette& palette) { return withAlpha(palette.color(QPalette::WindowText), 0.55); }

// A track or well behind a filled shape.
inline QColor faintFill(const QPalette& palette) { return withAlpha(palette.color(QPalette::WindowText), 0.12); }

}  // namespace SignalColours

}  // namespace quillmote
