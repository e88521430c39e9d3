#pragma once

#include <QColor>
#include <QPainterPath>
#include <optional>
#include <string>
#include <vector>

#include "core/looks/look.h"
#include "core/looks/look_content.h"
#include "ui/looks/look_fonts.h"

namespace quillmote {

// The colours of a typographic look.
struct LookPalette {
    QColor background;
    QColor ink;      // voice and ledger ink; present's bright
    QColor quiet;    // voice's grey; present's fading; a dimmed ink in the ledger
    QColor faint;    // present's gone
    bool dark = false;

    static LookPalette of(Look look);
};

// A look laid out for one width: outlines to fill where they go, and the rows a
// pointer can hit.
struct LookLayout {
    struct Piece {
        QPainterPath path;  // at its own origin
        QPointF at;
        QColor colour;
        QRectF bounds;  // where it lands
        std::uint64_t line = 0;  // the shaped line it shows; 0 for rules and bands
    };
    struct Row {
        QRectF rect;
        std::string key;
    };
    std::vector<Piece> pieces;
    std::vector<Row> rows;
    double height = 0;
    QColor background;

    std::optional<std::string> keyAt(QPointF point) const;
};

struct LookScene {
    const LookContent& content;
    std::optional<std::string> selectedKey;
    Instant now;  // when the rows were published, for recency
};

LookLayout layoutLook(Look look, const LookScene& scene, double width, LookFonts& fonts);

}  // namespace quillmote
