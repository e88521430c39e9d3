#pragma once

#include <QColor>
#include <QPalette>

namespace quillmote {

// The activity charts' colours, one set for light and one for dark palettes.
struct ChartPalette {
    QColor first;      // "Average", "Arrived"
    QColor second;     // "Busiest minute", "Left"
    QColor third;      // "Moved"
    QColor reference;  // "Usual"
    QColor grid;       // grid lines and the selection rule

    static bool isDark(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

    static ChartPalette of(const QPalette& palette) {
        if (isDark(palette))
            return {QColor(0x39, 0x87, 0xE5), QColor(0xD9, 0x59, 0x26), QColor(0x19, 0x9E, 0x70),
                    QColor(0x89, 0x87, 0x81), QColor(0x2C, 0x2C, 0x2A)};
        return {QColor(0x2A, 0x78, 0xD6), QColor(0xEB, 0x68, 0x34), QColor(0x1B, 0xAF, 0x7A),
                QColor(0x89, 0x87, 0x81), QColor(0xE1, 0xE0, 0xD9)};
    }
};

}  // namespace quillmote
