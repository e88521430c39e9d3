#include "ui/looks/look_fonts.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <algorithm>
#include <cmath>
#include <hb.h>

namespace quillmote {

struct LookFonts::Face {
    QByteArray data;  // HarfBuzz reads the face from here
    hb_blob_t* blob = nullptr;
    hb_face_t* face = nullptr;

    ~Face() {
        hb_face_destroy(face);
        hb_blob_destroy(blob);
    }
};

namespace {

constexpr double unitsPerPixel = 64;  // the font scale: 26.6 fixed point

// Outlines come in font units with y up; paths want pixels with y down.
struct Pen {
    QPainterPath* path;
};

void moveTo(hb_draw_funcs_t*, void* pen, hb_draw_state_t*, float x, float y, void*) {
    static_cast<Pen*>(pen)->path->moveTo(x / unitsPerPixel, -y / unitsPerPixel);
}
void lineTo(hb_draw_funcs_t*, void* pen, hb_draw_state_t*, float x, float y, void*) {
    static_cast<Pen*>(pen)->path->lineTo(x / unitsPerPixel, -y / unitsPerPixel);
}
void quadraticTo(hb_draw_funcs_t*, void* pen, hb_draw_state_t*, float cx, float cy, float x, float y, void*) {
    static_cast<Pen*>(pen)->path->quadTo(cx / unitsPerPixel, -cy / unitsPerPixel, x / unitsPerPixel, -y / unitsPerPixel);
}
void cubicTo(hb_draw_funcs_t*, void* pen, hb_draw_state_t*, float c1x, float c1y, float c2x, float c2y, float x,
             float y, void*) {
    static_cast<Pen*>(pen)->path->cubicTo(c1x / unitsPerPixel, -c1y / unitsPerPixel, c2x / unitsPerPixel,
                                          -c2y / unitsPerPixel, x / unitsPerPixel, -y / unitsPerPixel);
}
void closePath(hb_draw_funcs_t*, void* pen, hb_draw_state_t*, void*) { static_cast<Pen*>(pen)->path->closeSubpath(); }

QByteArray compiledIn(LookFace face) {
    QFile file(QStringLiteral(":/fonts/") + resourceName(face) + QStringLiteral(".ttf"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Keeps a cache within its bound: once full, it starts again rather than tracking age.
template <typename Map>
void bound(Map& cache, std::size_t most) {
    if (cache.size() >= most) cache.clear();
}

}  // namespace

QString resourceName(LookFace face) {
    switch (face) {
        case LookFace::archivo: return QStringLiteral("Archivo-VF");
        case LookFace::bigShoulders: return QStringLiteral("BigShoulders-VF");
        case LookFace::spaceGrotesk: return QStringLiteral("SpaceGrotesk-VF");
    }
    return {};
}

LookFonts::LookFonts() : LookFonts(compiledIn) {}

LookFonts::LookFonts(std::function<QByteArray(LookFace)> load) : load_(std::move(load)), draw_(hb_draw_funcs_create()) {
    hb_draw_funcs_set_move_to_func(draw_, moveTo, nullptr, nullptr);
    hb_draw_funcs_set_line_to_func(draw_, lineTo, nullptr, nullptr);
    hb_draw_funcs_set_quadratic_to_func(draw_, quadraticTo, nullptr, nullptr);
    hb_draw_funcs_set_cubic_to_func(draw_, cubicTo, nullptr, nullptr);
    hb_draw_funcs_set_close_path_func(draw_, closePath, nullptr, nullptr);
    hb_draw_funcs_make_immutable(draw_);
}

LookFonts::~LookFonts() {
    dropFonts();
    hb_draw_funcs_destroy(draw_);
}

void LookFonts::dropFonts() {
    for (auto& [key, font] : fonts_) hb_font_destroy(font);
    fonts_.clear();
}

LookFonts::Face* LookFonts::face(LookFace which) {
    auto found = faces_.find(which);
    if (found != faces_.end()) return found->second.get();
    ++faceLookups_;
    auto face = std::make_unique<Face>();
    face->data = load_(which);
    if (!face->data.isEmpty()) {
        face->blob = hb_blob_create(face->data.constData(), static_cast<unsigned>(face->data.size()),
                                    HB_MEMORY_MODE_READONLY, nullptr, nullptr);
        face->face = hb_face_create(face->blob, 0);
    }
    // Not a font at all counts as missing, and is not read again either.
    if (!face->face || hb_face_get_glyph_count(face->face) == 0) face.reset();
    return faces_.emplace(which, std::move(face)).first->second.get();
}

hb_font_t* LookFonts::font(const FontKey& key) {
    auto found = fonts_.find(key);
    if (found != fonts_.end()) return found->second;
    Face* source = face(std::get<0>(key));
    if (!source) return nullptr;
    // Every window width sets the voice at other sizes; keep the styles bounded.
    if (fonts_.size() >= fontsKept) dropFonts();
    hb_font_t* font = hb_font_create(source->face);
    const int scale = static_cast<int>(std::lround(std::get<1>(key) * unitsPerPixel));
    hb_font_set_scale(font, scale, scale);
    const FontAxes& axes = std::get<2>(key);
    hb_variation_t variations[3];
    unsigned count = 0;
    if (axes.weight) variations[count++] = {HB_TAG('w', 'g', 'h', 't'), static_cast<float>(*axes.weight)};
    if (axes.width) variations[count++] = {HB_TAG('w', 'd', 't', 'h'), static_cast<float>(*axes.width)};
    if (axes.opticalSize) variations[count++] = {HB_TAG('o', 'p', 's', 'z'), static_cast<float>(*axes.opticalSize)};
    if (count > 0) hb_font_set_variations(font, variations, count);
    return fonts_.emplace(key, font).first->second;
}

const QPainterPath& LookFonts::glyph(const FontKey& key, hb_font_t* font, unsigned glyph) {
    const auto glyphKey = std::make_tuple(key, glyph);
    auto found = glyphs_.find(glyphKey);
    if (found != glyphs_.end()) return found->second;
    bound(glyphs_, glyphsKept);
    QPainterPath outline;
    Pen pen{&outline};
#if HB_VERSION_ATLEAST(7, 0, 0)
    hb_font_draw_glyph(font, glyph, draw_, &pen);
#else
    hb_font_get_glyph_shape(font, glyph, draw_, &pen);
#endif
    return glyphs_.emplace(glyphKey, std::move(outline)).first->second;
}

ShapedText LookFonts::text(LookFace face, double size, const FontAxes& axes, const QString& text, double letterSpacing) {
    const FontKey fontKey{face, size, axes};
    const LineKey lineKey{fontKey, text, letterSpacing};
    auto found = lines_.find(lineKey);
    if (found != lines_.end()) return found->second;
    bound(lines_, linesKept);
    ShapedText shaped = font(fontKey) ? shape(fontKey, text, letterSpacing) : fallback(size, axes, text, letterSpacing);
    shaped.id = ++lastId_;
    lines_.emplace(lineKey, shaped);
    return shaped;
}

ShapedText LookFonts::shape(const FontKey& key, const QString& text, double letterSpacing) {
    hb_font_t* font = this->font(key);
    hb_buffer_t* buffer = hb_buffer_create();
    hb_buffer_add_utf16(buffer, reinterpret_cast<const uint16_t*>(text.utf16()), static_cast<int>(text.size()), 0,
                        static_cast<int>(text.size()));
    hb_buffer_guess_segment_properties(buffer);
    // Kerning and ligatures are on by default; tabular digits only when asked for.
    const hb_feature_t tabular{HB_TAG('t', 'n', 'u', 'm'), 1, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END};
    const bool tabularDigits = std::get<2>(key).tabularDigits;
    hb_shape(font, buffer, tabularDigits ? &tabular : nullptr, tabularDigits ? 1 : 0);

    unsigned count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &count);
    ShapedText shaped;
    shaped.path.setFillRule(Qt::WindingFill);
    double x = 0;
    for (unsigned i = 0; i < count; ++i) {
        const QPainterPath& outline = glyph(key, font, infos[i].codepoint);
        if (!outline.isEmpty())
            shaped.path.addPath(outline.translated(x + positions[i].x_offset / unitsPerPixel,
                                                   -positions[i].y_offset / unitsPerPixel));
        x += positions[i].x_advance / unitsPerPixel + (i + 1 < count ? letterSpacing : 0);
    }
    hb_buffer_destroy(buffer);
    shaped.path.setFillRule(Qt::WindingFill);  // addPath takes the first path's rule
    shaped.advance = x;
    shaped.bounds = shaped.path.boundingRect();
    hb_font_extents_t extents{};
    hb_font_get_h_extents(font, &extents);
    shaped.ascent = extents.ascender / unitsPerPixel;
    shaped.descent = -extents.descender / unitsPerPixel;
    return shaped;
}

ShapedText LookFonts::fallback(double size, const FontAxes& axes, const QString& text, double letterSpacing) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    if (axes.weight) font.setWeight(static_cast<QFont::Weight>(std::clamp(static_cast<int>(*axes.weight), 1, 1000)));
    if (letterSpacing != 0) font.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing);
    const QFontMetricsF metrics(font);
    ShapedText shaped;
    shaped.path.addText(0, 0, font, text);
    shaped.path.setFillRule(Qt::WindingFill);
    shaped.advance = metrics.horizontalAdvance(text);
    shaped.bounds = shaped.path.boundingRect();
    shaped.ascent = metrics.ascent();
    shaped.descent = metrics.descent();
    return shaped;
}

}  // namespace quillmote
