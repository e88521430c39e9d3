#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QTextDocument>
#include <cmath>
#include <gtest/gtest.h>
#include <set>

#include "tests/support/sightings.h"
#include "ui/device_text.h"
#include "ui/icons.h"
#include "ui/signal_views.h"

namespace quillmote {
namespace {

using test::at;

// Whole numbers from ten up, one decimal below, in the locale's own digits.
TEST(DeviceText, PacketRateLabel) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(packetRateLabel(std::nullopt, english), "—");
    EXPECT_EQ(packetRateLabel(9.96, english), "10.0");
    EXPECT_EQ(packetRateLabel(10.4, english), "10");
    EXPECT_EQ(packetRateLabel(3.24, QLocale(QLocale::German, QLocale::Germany)), "3,2");
}

TEST(DeviceText, DbmRoundsHalvesAwayFromZero) {
    EXPECT_EQ(dbmText(std::nullopt), "—");
    EXPECT_EQ(dbmText(-62.5), "−63");
    EXPECT_EQ(dbmText(-0.4), "0");
    EXPECT_EQ(dbmText(1e300), "—");  // nothing a radio sends, but no overflow either
}

// The colour of a drawing's fully opaque pixels, if it has one.
std::optional<QRgb> inkOf(const QIcon& icon, QIcon::Mode mode) {
    const QImage image = icon.pixmap(24, mode).toImage().convertToFormat(QImage::Format_ARGB32);
    std::set<QRgb> ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 255) ink.insert(image.pixel(x, y));
    return ink.size() == 1 ? std::optional(*ink.begin()) : std::nullopt;
}

// Each kind has a drawing of its own, in the palette's text colour and, on a
// selected row, its highlighted-text colour; it is drawn once per palette.
TEST(KindIcons, OneDrawingPerKindInThePalettesColours) {
    QPalette palette;
    palette.setColor(QPalette::Text, QColor(Qt::black));
    palette.setColor(QPalette::HighlightedText, QColor(Qt::white));
    KindIcons icons;
    for (DeviceKind kind : allDeviceKinds) {
        const QIcon& icon = icons.icon(kind, palette);
        EXPECT_EQ(icons.icon(kind, palette).cacheKey(), icon.cacheKey()) << rawValue(kind);
        EXPECT_EQ(inkOf(icon, QIcon::Normal), QColor(Qt::black).rgba()) << rawValue(kind);
        EXPECT_EQ(inkOf(icon, QIcon::Selected), QColor(Qt::white).rgba()) << rawValue(kind);
    }
    // Another palette (a dark theme, say) redraws in its colours.
    palette.setColor(QPalette::Text, QColor(Qt::yellow));
    EXPECT_EQ(inkOf(icons.icon(DeviceKind::phone, palette), QIcon::Normal), QColor(Qt::yellow).rgba());
}

TEST(DeviceText, RadioTextIsShownAsItself) {
    // A right-to-left override would make "txt.exe" read backwards; it is dropped.
    EXPECT_EQ(plainText("Pods\u202Eexe.txt"), "Podsexe.txt");
    EXPECT_EQ(plainText("a\u2066b\u2069c\u200Fd"), "abcd");
    // Controls become visible pictures rather than breaking the line; the C1 ones,
    // which have none, replacement characters.
    EXPECT_EQ(plainText(std::string("a\nb\0c\x7F", 6)), QString::fromUtf8("a\u240Ab\u2400c\u2421"));
    EXPECT_EQ(plainText("ok\u0085\u009F\u00A0!"), QString::fromUtf8("ok\uFFFD\uFFFD\u00A0!"));

    // Tooltips are read as rich text when they look like markup; these never are.
    QTextDocument tip;
    tip.setHtml(literalToolTip("<b>Tom</b> & <img src=x>"));
    EXPECT_EQ(tip.toPlainText(), "<b>Tom</b> & <img src=x>");
    EXPECT_TRUE(Qt::mightBeRichText(literalToolTip("Tom")));
}

TEST(SignalBarsView, LightsBarsForTheReadingAndSaysHowMany) {
    SignalBarsView bars(5, 20);
    for (const auto& [rssi, lit] : {std::pair<std::optional<double>, int>{-65, 3}, {std::nullopt, 0}, {-20, 5}}) {
        bars.setRssi(rssi);
        EXPECT_EQ(bars.litBars(), lit);
        EXPECT_EQ(bars.accessibleName(), QString("%1 of 5 bars").arg(lit));
    }
    // Five bars of 5 with four gaps of 1.5, as tall as the tallest bar.
    EXPECT_EQ(bars.sizeHint(), QSize(31, 20));
}

TEST(SignalBarsView, DrawsLitBarsInTheAccentAndTheRestDim) {
    QPalette palette;
    palette.setColor(QPalette::Highlight, QColor(255, 0, 0));
    QImage image(31, 20, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    SignalBarsView::paintBars(painter, QRectF(0, 0, 31, 20), 3, 5, 20, palette);
    painter.end();

    // Bar i stands 5 + 1.5 apart and is 20 × i / 5 high; sample each bar near its foot.
    for (int bar = 1; bar <= 5; ++bar) {
        const QColor foot = image.pixelColor(static_cast<int>((bar - 1) * 6.5 + 2.5), 18);
        EXPECT_EQ(foot == QColor(255, 0, 0), bar <= 3) << bar;
        EXPECT_NE(foot, QColor(Qt::white)) << bar;  // an unlit bar is still drawn
    }
    // Above the shortest bar's top, the first bar's column stays empty.
    EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));
}

TEST(SignalSparkline, MarksAndPlacement) {
    EXPECT_EQ(SignalSparkline::ageLabel(0), "now");
    // Exactly two minutes old sits on the left edge, now on the right; −100 at the
    // bottom, −30 at the top.
    const QRectF plot(10, 5, 240, 70);
    EXPECT_EQ(SignalSparkline::plotPosition({at(380), -100}, at(500), plot), QPointF(10, 75));
    EXPECT_EQ(SignalSparkline::plotPosition({at(500), -30}, at(500), plot), QPointF(250, 5));
    EXPECT_EQ(SignalSparkline::plotPosition({at(440), -65}, at(500), plot), QPointF(130, 40));
}

TEST(SignalSparkline, CurvePassesThroughEveryPointWithoutOvershooting) {
    const std::vector<QPointF> points{{0, 50}, {10, 50}, {20, 10}, {30, 10}, {40, 30}, {50, 29}};
    const QPainterPath path = SignalSparkline::curveThrough(points);
    ASSERT_EQ(path.elementCount(), 1 + 3 * 5);
    for (std::size_t k = 0; k < points.size(); ++k) EXPECT_EQ(QPointF(path.elementAt(3 * k)), points[k]) << k;
    // A steady stretch stays flat and a step never swings past its ends, so the
    // drawn line never shows a reading nobody heard.
    const QRectF bounds = path.controlPointRect();
    EXPECT_GE(bounds.top(), 10);
    EXPECT_LE(bounds.bottom(), 50);
    EXPECT_EQ(path.pointAtPercent(0.05).y(), 50);

    // Readings changing at a steady rate are drawn as a straight line.
    const QPainterPath steady = SignalSparkline::curveThrough({{0, 0}, {10, 10}, {20, 20}});
    EXPECT_NEAR(steady.pointAtPercent(0.125).y(), steady.pointAtPercent(0.125).x(), 0.01);
    EXPECT_TRUE(SignalSparkline::curveThrough({}).isEmpty());
    EXPECT_EQ(SignalSparkline::curveThrough({{3, 4}}).elementCount(), 1);
}

TEST(SignalSparkline, DrawsTheLineWhereTheReadingsAre) {
    SignalSparkline sparkline;
    sparkline.resize(320, SignalSparkline::height);
    const QColor line = sparkline.palette().color(QPalette::Highlight);
    sparkline.setPoints({}, at(200));
    const QImage empty = sparkline.grab().toImage();

    std::vector<SignalPoint> steady;
    for (int second = 40; second <= 200; ++second) steady.push_back({at(second), -65});
    steady.push_back({at(100.5), -40});  // out of time order: left out, no loop back
    sparkline.setPoints(steady, at(200));
    const QImage drawn = sparkline.grab().toImage();
    const QPointF middle = SignalSparkline::plotPosition({at(140), -65}, at(200), sparkline.plotArea());
    // The 2-pixel line fully covers the pixel row its centre falls in.
    const QPoint pixel(static_cast<int>(middle.x()), static_cast<int>(std::floor(middle.y())));
    EXPECT_NE(empty.pixelColor(pixel), line);
    EXPECT_EQ(drawn.pixelColor(pixel), line);
    const QPointF spike = SignalSparkline::plotPosition({at(100.5), -40}, at(200), sparkline.plotArea());
    EXPECT_NE(drawn.pixelColor(spike.toPoint()), line);
}

}  // namespace
}  // namespace quillmote
