#include "ui/signal_views.h"

#include <QImage>
#include <cmath>
#include <QPainter>
#include <gtest/gtest.h>

#include "tests/support/sightings.h"
#include "tests/ui/ui_support.h"

namespace quillmote {
namespace {

using test::at;

TEST(SignalBarsView, LightsBarsForTheReadingAndSaysHowMany) {
    SignalBarsView bars(5, 20);
    bars.setRssi(-65);
    EXPECT_EQ(bars.litBars(), 3);
    EXPECT_EQ(bars.accessibleName(), "3 of 5 bars");
    bars.setRssi(std::nullopt);
    EXPECT_EQ(bars.litBars(), 0);
    EXPECT_EQ(bars.accessibleName(), "0 of 5 bars");
    bars.setRssi(-20);
    EXPECT_EQ(bars.accessibleName(), "5 of 5 bars");
    // Five bars of 5 with four gaps of 1.5, as tall as the tallest bar.
    EXPECT_EQ(SignalBarsView::barsSize(5, 20), QSize(31, 20));
    EXPECT_EQ(bars.sizeHint(), QSize(31, 20));
}

TEST(SignalBarsView, DrawsLitBarsInTheAccentAndTheRestDim) {
    QPalette palette;
    palette.setColor(QPalette::Highlight, QColor(255, 0, 0));
    palette.setColor(QPalette::WindowText, QColor(0, 0, 0));
    QImage image(31, 20, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    SignalBarsView::paintBars(painter, QRectF(0, 0, 31, 20), 3, 5, 20, palette);
    painter.end();

    // Bar i stands 5 + 1.5 apart and is 20 × i / 5 high; sample each bar near its foot.
    auto barPixel = [&](int bar) { return image.pixelColor(static_cast<int>((bar - 1) * 6.5 + 2.5), 18); };
    for (int bar = 1; bar <= 3; ++bar) EXPECT_EQ(barPixel(bar), QColor(255, 0, 0)) << bar;
    for (int bar = 4; bar <= 5; ++bar) {
        const QColor dim = barPixel(bar);
        EXPECT_NE(dim, QColor(255, 0, 0)) << bar;
        EXPECT_NE(dim, QColor(Qt::white)) << bar;  // an unlit bar is still drawn
    }
    // Above the shortest bar's top, the first bar's column stays empty.
    EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));
}

TEST(SignalSparkline, MarksAndPlacement) {
    EXPECT_EQ(SignalSparkline::ageLabel(120), QString::fromUtf8("\u2212120s"));
    EXPECT_EQ(SignalSparkline::ageLabel(60), QString::fromUtf8("\u221260s"));
    EXPECT_EQ(SignalSparkline::ageLabel(0), "now");

    const QRectF plot(10, 5, 240, 70);
    const Instant now = at(500);
    // Exactly two minutes old sits on the left edge; now on the right.
    EXPECT_EQ(SignalSparkline::plotPosition({at(380), -100}, now, plot), QPointF(10, 75));
    EXPECT_EQ(SignalSparkline::plotPosition({now, -30}, now, plot), QPointF(250, 5));
    EXPECT_EQ(SignalSparkline::plotPosition({at(440), -65}, now, plot), QPointF(130, 40));
}

TEST(SignalSparkline, CurvePassesThroughEveryPointWithoutOvershooting) {
    const std::vector<QPointF> points{{0, 50}, {10, 50}, {20, 10}, {30, 10}, {40, 30}, {50, 29}};
    const QPainterPath path = SignalSparkline::curveThrough(points);
    ASSERT_EQ(path.elementCount(), 1 + 3 * 5);
    EXPECT_EQ(QPointF(path.elementAt(0)), points[0]);
    for (std::size_t k = 1; k < points.size(); ++k) EXPECT_EQ(QPointF(path.elementAt(3 * k)), points[k]) << k;
    // A steady stretch stays flat and a step never swings past its ends, so the
    // drawn line never shows a reading nobody heard.
    const QRectF bounds = path.controlPointRect();
    EXPECT_GE(bounds.top(), 10);
    EXPECT_LE(bounds.bottom(), 50);
    EXPECT_EQ(path.pointAtPercent(0.05).y(), 50);

    EXPECT_TRUE(SignalSparkline::curveThrough({}).isEmpty());
    EXPECT_EQ(SignalSparkline::curveThrough({{3, 4}}).elementCount(), 1);
}

TEST(SignalSparkline, DrawsTheLineWhereTheReadingsAre) {
    SignalSparkline sparkline;
    sparkline.resize(320, SignalSparkline::height);
    QPalette palette = sparkline.palette();
    palette.setColor(QPalette::Highlight, QColor(0, 0, 255));
    sparkline.setPalette(palette);

    // Empty axes draw without a line.
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
    EXPECT_NE(empty.pixelColor(pixel), QColor(0, 0, 255));
    EXPECT_EQ(drawn.pixelColor(pixel), QColor(0, 0, 255));
    const QPointF spike = SignalSparkline::plotPosition({at(100.5), -40}, at(200), sparkline.plotArea());
    EXPECT_NE(drawn.pixelColor(spike.toPoint()), QColor(0, 0, 255));
    test::saveScreenshot(sparkline, "sparkline");
}

}  // namespace
}  // namespace quillmote
