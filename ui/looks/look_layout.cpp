#include "ui/looks/look_layout.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

#include "core/signal/signal_ramp.h"

namespace quillmote {

namespace {

constexpr double margin = 40;
constexpr double presentIndent = 92.8;

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

QColor withAlpha(QColor colour, double alpha) {
    colour.setAlphaF(static_cast<float>(alpha));
    return colour;
}

// Sets type into a layout.
class Setter {
public:
    Setter(LookLayout& layout, LookFonts& fonts) : layout_(layout), fonts_(fonts) {}

    ShapedText shape(LookFace face, double size, const FontAxes& axes, const QString& line, double spacing = 0) {
        return fonts_.text(face, size, axes, line, spacing);
    }

    // Shortened with an ellipsis until it fits.
    ShapedText fitted(LookFace face, double size, const FontAxes& axes, const QString& line, double width,
                      double spacing = 0) {
        ShapedText shaped = shape(face, size, axes, line, spacing);
        if (shaped.advance <= width || line.size() < 2) return shaped;
        qsizetype low = 0;
        qsizetype high = line.size() - 1;
        while (low < high) {  // the longest start that fits with its ellipsis
            const qsizetype middle = (low + high + 1) / 2;
            if (shape(face, size, axes, line.left(middle).trimmed() + QStringLiteral("…"), spacing).advance <= width)
                low = middle;
            else
                high = middle - 1;
        }
        return shape(face, size, axes, line.left(low).trimmed() + QStringLiteral("…"), spacing);
    }

    // The text with its baseline at `baseline`, starting at x.
    void place(const ShapedText& shaped, double x, double baseline, const QColor& colour) {
        if (shaped.path.isEmpty()) return;
        layout_.pieces.push_back(
            {shaped.path, QPointF(x, baseline), colour, shaped.bounds.translated(x, baseline), shaped.id});
    }

    void band(const QRectF& rect, const QColor& colour) {
        QPainterPath path;
        path.addRoundedRect(QRectF(QPointF(0, 0), rect.size()), 6, 6);
        layout_.pieces.push_back({path, rect.topLeft(), colour, rect});
    }

    void rule(double x, double y, double width, const QColor& colour) {
        QPainterPath path;
        path.addRect(QRectF(0, 0, width, 1));
        layout_.pieces.push_back({path, QPointF(x, y), colour, QRectF(x, y, width, 1)});
    }

    // Wrapped at spaces into lines no wider than `width`, each `leading` below the
    // last; returns where the next line would start.
    double paragraph(LookFace face, double size, const FontAxes& axes, const QString& content, double x, double top,
                     double width, const QColor& colour, double leading) {
        double y = top;
        for (const QString& source : content.split(QLatin1Char('\n'))) {
            QString line;
            for (const QString& word : source.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
                if (!line.isEmpty() && shape(face, size, axes, longer).advance > width) {
                    place(fitted(face, size, axes, line, width), x, y + size, colour);
                    y += leading;
                    line = word;
                } else {
                    line = longer;
                }
            }
            place(fitted(face, size, axes, line, width), x, y + size, colour);
            y += leading;
        }
        return y;
    }

private:
    LookLayout& layout_;
    LookFonts& fonts_;
};

// The signal the type follows, in the whole decibels the reading shows: the type
// changes when the figure does, and the caches see a few dozen styles, not one per
// smoothed value.
std::optional<double> typeSignal(const DeviceRecord& record) {
    const auto rssi = record.rssi();
    return rssi ? std::optional(std::round(*rssi)) : std::nullopt;
}

FontAxes weighted(double weight, bool tabular = false) { return {weight, std::nullopt, std::nullopt, tabular}; }

// Big Shoulders is drawn for the size it is set at.
FontAxes shoulders(double weight, double size) { return {weight, std::nullopt, std::clamp(size, 10.0, 72.0), false}; }

// The notes on the selected device, one line after another.
QString notesText(const SelectionNotes& notes) {
    QStringList lines;
    QString first = notes.proximity ? text(*notes.proximity) + QStringLiteral(" · ") : QString();
    lines << first + text(notes.certainty);
    if (notes.evidence) lines << text(*notes.evidence);
    if (notes.hex) lines << text(*notes.hex);
    return lines.join(QLatin1Char('\n'));
}

QString battery(const DeviceRecord& record) {
    return record.batteryPercent ? QString::number(*record.batteryPercent) + QStringLiteral("%") : QStringLiteral("—");
}

// ---- Ledger: readings in a column, as on a departures board ---------------

LookLayout ledger(const LookScene& scene, double width, LookFonts& fonts) {
    const LookPalette palette = LookPalette::of(Look::ledger);
    LookLayout layout;
    layout.background = palette.background;
    Setter set(layout, fonts);
    const double right = width - margin;
    double y = 32;
    set.place(set.shape(LookFace::bigShoulders, 15, shoulders(700, 15), QStringLiteral("QUILLMOTE"), 3.3), margin, y + 15,
              palette.ink);
    y += 22;
    set.place(set.shape(LookFace::bigShoulders, 15, shoulders(500, 15),
                        text(scene.content.headline + " · dBm").toUpper(), 2.4),
              margin, y + 15, palette.quiet);
    y += 30;
    set.rule(margin, y, right - margin, withAlpha(palette.ink, 0.2));
    y += 12;

    const double size = TypeFit::ledger(104, width);
    const double rowHeight = std::round(size * 1.0);
    const double nameSize = std::max(size * 0.4, TypeFit::minimumSize);
    // Room for the widest reading, so every name stops short of the column.
    const double column = set.shape(LookFace::archivo, size, {800.0, 72.0, std::nullopt, true}, QStringLiteral("−100")).advance;
    for (const DeviceRecord& record : scene.content.heard) {
        const double weight = SignalRamp::ledgerWeight().value(typeSignal(record));
        const bool silent = Freshness::of(record, scene.now) == Freshness::silent;
        const QColor colour = silent ? withAlpha(palette.ink, 0.35) : palette.ink;
        const QRectF rect(margin - 12, y, right - margin + 24, rowHeight);
        if (record.id == scene.selectedKey) set.band(rect, withAlpha(palette.ink, 0.09));
        const double baseline = y + rowHeight * 0.85;  // figures centred in the row
        const ShapedText reading =
            set.shape(LookFace::archivo, size, {weight, 72.0, std::nullopt, true}, text(LookText::dbm(record.rssi())));
        set.place(reading, right - reading.advance, baseline, colour);
        set.place(set.fitted(LookFace::bigShoulders, nameSize, shoulders(weight, nameSize),
                             text(record.displayName()).toUpper(), right - margin - column - 24, 0.5),
                  margin, baseline, colour);
        layout.rows.push_back({rect, record.id});
        y += rowHeight;
        set.rule(margin, y - 1, right - margin, withAlpha(palette.ink, 0.08));
    }

    const auto heading = [&](const QString& title) {
        y += 28;
        set.place(set.shape(LookFace::bigShoulders, 15, shoulders(600, 15), title, 2.4), margin, y + 15, palette.quiet);
        y += 26;
        set.rule(margin, y, right - margin, withAlpha(palette.ink, 0.2));
        y += 8;
    };
    if (!scene.content.paired.empty()) {
        heading(QStringLiteral("PAIRED"));
        for (const DeviceRecord& record : scene.content.paired) {
            const QRectF rect(margin - 12, y, right - margin + 24, 40);
            if (record.id == scene.selectedKey) set.band(rect, withAlpha(palette.ink, 0.09));
            const ShapedText level = set.shape(LookFace::archivo, 26, {500.0, 72.0, std::nullopt, true}, battery(record));
            set.place(level, right - level.advance, y + 31, palette.ink);
            set.place(set.fitted(LookFace::bigShoulders, 26, shoulders(500, 26), text(record.displayName()).toUpper(),
                                 right - margin - level.advance - 24, 0.5),
                      margin, y + 31, palette.ink);
            layout.rows.push_back({rect, record.id});
            y += 40;
        }
    }
    if (scene.content.notes) {
        heading(QStringLiteral("WHY WE THINK THIS"));
        y = set.paragraph(LookFace::spaceGrotesk, 15, weighted(400), notesText(*scene.content.notes), margin, y + 4,
                          std::min(right - margin, 680.0), palette.ink, 22);
    }
    layout.height = y + 40;
    return layout;
}

// ---- Voice: the room as words, loud devices loud -------------------------

LookLayout voice(const LookScene& scene, double width, LookFonts& fonts) {
    const LookPalette palette = LookPalette::of(Look::voice);
    LookLayout layout;
    layout.background = palette.background;
    Setter set(layout, fonts);
    const double aside = 260;
    const double roomRight = width - margin - aside - 40;
    const double roomWidth = roomRight - margin;
    double y = 30;
    set.place(set.shape(LookFace::archivo, 17, {800.0, 115.0, std::nullopt, false}, QStringLiteral("Quillmote")), margin,
              y + 17, palette.ink);
    const ShapedText headline = set.shape(LookFace::archivo, 17, {400.0, 100.0, std::nullopt, true}, text(scene.content.headline));
    set.place(headline, width - margin - headline.advance, y + 17, palette.quiet);
    y += 32;
    set.rule(margin, y, width - 2 * margin, palette.ink);
    const double top = y + 24;

    // Words flow like a paragraph, each followed by its reading in small type.
    struct Word {
        ShapedText name;
        ShapedText reading;
        double size;
        QColor colour;
        std::string key;
    };
    std::vector<Word> line;
    double lineWidth = 0;
    y = top;
    const auto flush = [&] {
        if (line.empty()) return;
        double ascent = 0;
        double descent = 0;
        for (const Word& word : line) {
            ascent = std::max(ascent, word.size * 0.78);
            descent = std::max(descent, word.size * 0.24);
        }
        const double baseline = y + ascent;
        double x = margin;
        for (const Word& word : line) {
            const QRectF rect(x - 4, y, word.name.advance + word.reading.advance + 12, ascent + descent);
            if (word.key == scene.selectedKey) {  // under the descenders
                const double thickness = std::max(2.0, word.size / 28);
                set.band(QRectF(x, baseline + word.size * 0.2, word.name.advance, thickness), palette.ink);
            }
            set.place(word.name, x, baseline, word.colour);
            set.place(word.reading, x + word.name.advance + 4, baseline - word.size * 0.5, palette.quiet);
            layout.rows.push_back({rect, word.key});
            x += word.name.advance + word.reading.advance + std::max(14.0, word.size * 0.3);
        }
        y = baseline + descent + 6;
        line.clear();
        lineWidth = 0;
    };
    for (const DeviceRecord& record : scene.content.heard) {
        const auto rssi = typeSignal(record);
        double size = TypeFit::voice(SignalRamp::voiceSize().value(rssi), roomWidth);
        const FontAxes axes{SignalRamp::voiceWeight().value(rssi), SignalRamp::voiceWidth().value(rssi), std::nullopt, false};
        const ShapedText reading = set.shape(LookFace::archivo, 12, {500.0, 90.0, std::nullopt, true}, text(LookText::dbm(rssi)));
        // A long name is set smaller before it is cut, so that it still reads whole.
        const QString label = text(record.displayName());
        const double room = roomWidth - reading.advance - 8;
        const double natural = set.shape(LookFace::archivo, size, axes, label).advance;
        if (natural > room) size = std::max(std::floor(size * room / natural), std::min(size, TypeFit::minimumSize * 2));
        const ShapedText name = set.fitted(LookFace::archivo, size, axes, label, room);
        const double needed = name.advance + 4 + reading.advance;
        if (!line.empty() && lineWidth + needed > roomWidth) flush();
        const bool gone = Recency::of(record, scene.now) == Recency::gone;
        line.push_back({name, reading, size, gone ? palette.quiet : palette.ink, record.id});
        lineWidth += needed + std::max(14.0, size * 0.3);
    }
    flush();
    double bottom = y;

    // The aside: the selection's notes, then the paired devices.
    const double asideLeft = width - margin - aside;
    y = top;
    const auto heading = [&](const QString& title) {
        set.place(set.shape(LookFace::archivo, 13, {700.0, 100.0, std::nullopt, false}, title), asideLeft, y + 13, palette.ink);
        y += 20;
        set.rule(asideLeft, y, aside, palette.ink);
        y += 8;
    };
    if (scene.content.notes) {
        heading(QStringLiteral("Why we think this"));
        y = set.paragraph(LookFace::spaceGrotesk, 13, weighted(400), notesText(*scene.content.notes), asideLeft, y, aside,
                          palette.ink, 19) + 18;
    }
    if (!scene.content.paired.empty()) {
        heading(QStringLiteral("Paired"));
        for (const DeviceRecord& record : scene.content.paired) {
            const QRectF rect(asideLeft - 6, y, aside + 12, 22);
            if (record.id == scene.selectedKey) set.band(rect, withAlpha(palette.ink, 0.08));
            const ShapedText level = set.shape(LookFace::spaceGrotesk, 13, weighted(500, true), battery(record));
            set.place(level, asideLeft + aside - level.advance, y + 15, palette.quiet);
            set.place(set.fitted(LookFace::spaceGrotesk, 13, weighted(500), text(record.displayName()),
                                 aside - level.advance - 12),
                      asideLeft, y + 15, palette.ink);
            layout.rows.push_back({rect, record.id});
            y += 22;
        }
    }
    layout.height = std::max(bottom, y) + 40;
    return layout;
}

// ---- Present: who is here now, bright, fading or gone --------------------

LookLayout present(const LookScene& scene, double width, LookFonts& fonts) {
    const LookPalette palette = LookPalette::of(Look::present);
    LookLayout layout;
    layout.background = palette.background;
    Setter set(layout, fonts);
    const double right = width - margin;
    const double text0 = margin + presentIndent;
    double y = 34;
    set.place(set.shape(LookFace::spaceGrotesk, 15, weighted(700), QStringLiteral("Quillmote")), text0, y + 15, palette.ink);
    y += 22;
    set.place(set.shape(LookFace::spaceGrotesk, 15, weighted(400, true), text(scene.content.headline)), text0, y + 15,
              palette.quiet);
    y += 40;

    const auto colourOf = [&](const DeviceRecord& record) {
        switch (Recency::of(record, scene.now)) {
            case Recency::live: return palette.ink;
            case Recency::fading: return palette.quiet;
            case Recency::gone: return palette.faint;
        }
        return palette.ink;
    };
    const auto row = [&](const DeviceRecord& record, const QString& figure) {
        const QColor colour = colourOf(record);
        const QRectF rect(margin - 12, y, right - margin + 24, 40);
        if (record.id == scene.selectedKey) set.band(rect, withAlpha(palette.ink, 0.08));
        const ShapedText reading = set.shape(LookFace::spaceGrotesk, 15, weighted(500, true), figure);
        set.place(reading, text0 - 20 - reading.advance, y + 27, colour);
        set.place(set.fitted(LookFace::spaceGrotesk, 26, weighted(500), text(record.displayName()), right - text0),
                  text0, y + 29, colour);
        layout.rows.push_back({rect, record.id});
        y += 40;
    };
    const auto heading = [&](const QString& title) {
        y += 26;
        set.place(set.shape(LookFace::spaceGrotesk, 13, weighted(700), title), text0, y + 13, palette.quiet);
        y += 24;
    };
    for (const DeviceRecord& record : scene.content.heard) row(record, text(LookText::dbm(record.rssi())));
    if (!scene.content.paired.empty()) {
        heading(QStringLiteral("Paired"));
        for (const DeviceRecord& record : scene.content.paired) row(record, battery(record));
    }
    if (scene.content.notes) {
        heading(QStringLiteral("Why we think this"));
        y = set.paragraph(LookFace::spaceGrotesk, 15, weighted(400), notesText(*scene.content.notes), text0, y,
                          std::min(right - text0, 640.0), palette.ink, 22);
    }
    layout.height = y + 40;
    return layout;
}

}  // namespace

LookPalette LookPalette::of(Look look) {
    switch (look) {
        case Look::voice: return {QColor(0xF2, 0xF0, 0xEA), QColor(0x16, 0x15, 0x0F), QColor(0x7D, 0x75, 0x63), QColor(0x7D, 0x75, 0x63), false};
        case Look::ledger: {
            const QColor ink(0xD5, 0xE6, 0xD8);
            return {QColor(0x0F, 0x1B, 0x15), ink, withAlpha(ink, 0.6), withAlpha(ink, 0.35), true};
        }
        case Look::present: return {QColor(0x17, 0x17, 0x1A), QColor(0xF2, 0xEF, 0xE7), QColor(0x8E, 0x8C, 0x94), QColor(0x5C, 0x5B, 0x64), true};
        case Look::standard: break;
    }
    return {};
}

std::optional<std::string> LookLayout::keyAt(QPointF point) const {
    for (const Row& row : rows)
        if (row.rect.contains(point)) return row.key;
    return std::nullopt;
}

LookLayout layoutLook(Look look, const LookScene& scene, double width, LookFonts& fonts) {
    switch (look) {
        case Look::voice: return voice(scene, width, fonts);
        case Look::ledger: return ledger(scene, width, fonts);
        case Look::present: return present(scene, width, fonts);
        case Look::standard: break;
    }
    return {};
}

}  // namespace quillmote
