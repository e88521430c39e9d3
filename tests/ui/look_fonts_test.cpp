#include "ui/looks/look_fonts.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace quillmote {
namespace {

// How much ink a line of text puts down: the sum of its coverage.
double ink(const ShapedText& shaped) {
    QImage image(static_cast<int>(shaped.advance) + 20, 120, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(10, 90);
    painter.fillPath(shaped.path, Qt::black);
    painter.end();
    double total = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) total += qAlpha(image.pixel(x, y)) / 255.0;
    return total;
}

FontAxes axes(std::optional<double> weight, std::optional<double> width = std::nullopt, bool tabular = false) {
    return {weight, width, std::nullopt, tabular};
}

TEST(LookFonts, AxesAndFeaturesReachTheOutlines) {
    LookFonts fonts;
    const QString word = QStringLiteral("Quillmote");
    for (LookFace face : {LookFace::archivo, LookFace::bigShoulders, LookFace::spaceGrotesk}) {
        const double light = ink(fonts.text(face, 60, axes(300), word));
        const double heavy = ink(fonts.text(face, 60, axes(900), word));
        EXPECT_GT(heavy, light * 1.3) << resourceName(face).toStdString();
    }
    EXPECT_GT(fonts.text(LookFace::archivo, 60, axes(400, 150), word).advance,
              fonts.text(LookFace::archivo, 60, axes(400, 50), word).advance * 1.3);

    // Tabular digits share one advance, so readings line up in a column.
    const auto advance = [&](const char* digits, bool tabular) {
        return fonts.text(LookFace::archivo, 40, axes(700, std::nullopt, tabular), QString::fromLatin1(digits)).advance;
    };
    EXPECT_DOUBLE_EQ(advance("1111", true), advance("0000", true));
    EXPECT_NE(advance("1111", false), advance("0000", false));

    // Kerning pulls the pair together.
    const auto pair = fonts.text(LookFace::archivo, 60, axes(400), QStringLiteral("AV")).advance;
    const auto apart = fonts.text(LookFace::archivo, 60, axes(400), QStringLiteral("A")).advance +
                       fonts.text(LookFace::archivo, 60, axes(400), QStringLiteral("V")).advance;
    EXPECT_LT(pair, apart - 1);

    // Letter spacing goes between letters, not after the last.
    const auto plain = fonts.text(LookFace::bigShoulders, 15, axes(500), word).advance;
    EXPECT_DOUBLE_EQ(fonts.text(LookFace::bigShoulders, 15, axes(500), word, 2.4).advance, plain + 2.4 * 8);
}

TEST(LookFonts, AMissingFaceFallsBackOnceToTheInterfaceFont) {
    int loads = 0;
    LookFonts fonts([&loads](LookFace face) {
        ++loads;
        return face == LookFace::archivo ? QByteArray() : QByteArray("not a font");
    });
    for (LookFace face : {LookFace::archivo, LookFace::spaceGrotesk}) {
        const ShapedText first = fonts.text(face, 30, axes(700), QStringLiteral("Kitchen speaker"));
        const ShapedText again = fonts.text(face, 18, axes(400), QStringLiteral("Desk hub"));
        EXPECT_GT(first.advance, again.advance);
        EXPECT_GT(ink(first), 100);  // readable, not empty
        EXPECT_GT(first.ascent, 0);
    }
    EXPECT_EQ(loads, 2);
    EXPECT_EQ(fonts.faceLookups(), 2);
}

}  // namespace
}  // namespace quillmote
