#pragma once

#include <QByteArray>
#include <QPainterPath>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

struct hb_blob_t;
struct hb_draw_funcs_t;
struct hb_face_t;
struct hb_font_t;

namespace quillmote {

// The looks' three variable faces.
enum class LookFace { archivo, bigShoulders, spaceGrotesk };

// "Archivo-VF", "BigShoulders-VF", "SpaceGrotesk-VF": the resource names, with ".ttf".
QString resourceName(LookFace face);

struct FontAxes {
    std::optional<double> weight;       // "wght"
    std::optional<double> width;        // "wdth"
    std::optional<double> opticalSize;  // "opsz"
    bool tabularDigits = false;         // the "tnum" feature

    friend bool operator==(const FontAxes&, const FontAxes&) = default;
    friend auto operator<=>(const FontAxes&, const FontAxes&) = default;
};

// A line of text as outlines: the baseline at y = 0, the pen starting at x = 0.
struct ShapedText {
    QPainterPath path;  // winding fill: variable glyphs overlap their own contours
    double advance = 0;
    double ascent = 0;   // above the baseline, positive
    double descent = 0;  // below the baseline, positive
    QRectF bounds;       // of the path, kept: painting skips what is out of view
    std::uint64_t id = 0;  // the same line from the cache keeps its id, so its pixels can be kept too
};

// Variable type for the looks. Qt cannot set a font's variation axes, so text is
// shaped by HarfBuzz with the axes applied and drawn from the glyph outlines. Faces
// and finished fonts are kept for the life of the object; shaped lines and glyph
// outlines are kept up to a bound. A face that cannot be read is never looked for
// again: its text falls back to the interface font through Qt.
class LookFonts {
public:
    // The faces compiled into the program, or whatever `load` gives (an empty array
    // for a face that is missing).
    LookFonts();
    explicit LookFonts(std::function<QByteArray(LookFace)> load);
    ~LookFonts();
    LookFonts(const LookFonts&) = delete;
    LookFonts& operator=(const LookFonts&) = delete;

    ShapedText text(LookFace face, double size, const FontAxes& axes, const QString& text, double letterSpacing = 0);

    // Drops the shaped lines and glyph outlines, keeping faces and fonts: what a
    // redraw costs before anything is cached.
    void forgetShapes() {
        lines_.clear();
        glyphs_.clear();
    }

    // How many times a face was looked for.
    int faceLookups() const { return faceLookups_; }

    static constexpr std::size_t linesKept = 4096;
    static constexpr std::size_t glyphsKept = 16384;
    static constexpr std::size_t fontsKept = 256;

private:
    struct Face;
    using FontKey = std::tuple<LookFace, double, FontAxes>;
    using LineKey = std::tuple<FontKey, QString, double>;

    std::function<QByteArray(LookFace)> load_;
    hb_draw_funcs_t* draw_;
    std::map<LookFace, std::unique_ptr<Face>> faces_;  // null for a face that is missing
    std::map<FontKey, hb_font_t*> fonts_;
    std::map<LineKey, ShapedText> lines_;
    std::map<std::tuple<FontKey, unsigned>, QPainterPath> glyphs_;
    int faceLookups_ = 0;
    std::uint64_t lastId_ = 0;

    Face* face(LookFace face);
    hb_font_t* font(const FontKey& key);
    void dropFonts();
    const QPainterPath& glyph(const FontKey& key, hb_font_t* font, unsigned glyph);
    ShapedText shape(const FontKey& key, const QString& text, double letterSpacing);
    static ShapedText fallback(double size, const FontAxes& axes, const QString& text, double letterSpacing);
};

}  // namespace quillmote
