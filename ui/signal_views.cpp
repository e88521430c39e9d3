#include "ui/signal_views.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "core/signal/signal_bars.h"
#include "ui/text_styles.h"

namespace quillmote {

// --- SignalBarsView ---

SignalBarsView::SignalBarsView(double barWidth, double maxHeight, QWidget* parent)
    : QWidget(parent), barWidth_(barWidth), maxHeight_(maxHeight) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setRssi(std::nullopt);
}

void SignalBarsView::setRssi(std::optional<double> rssi) {
    const int lit = SignalBars::count(rssi);
    setAccessibleName(QStringLiteral("%1 of 5 bars").arg(lit));
    if (lit == lit_) return;
    lit_ = lit;
    update();
}

QSize SignalBarsView::barsSize(double barWidth, double maxHeight) {
    return QSize(static_cast<int>(std::ceil(barCount * barWidth + (barCount - 1) * barGap)),
                 static_cast<int>(std::ceil(maxHeight)));
}

QSize SignalBarsView::sizeHint() const { return barsSize(barWidth_, maxHeight_); }

void SignalBarsView::paintBars(QPainter& painter, const QRectF& area, int lit, double barWidth, double maxHeight,
                               const QPalette& palette, bool onSelection) {
    const double width = barCount * barWidth + (barCount - 1) * barGap;
    const double left = area.left() + (area.width() - width) / 2;
    const double bottom = area.top() + (area.height() + maxHeight) / 2;
    const QColor accent = palette.color(onSelection ? QPalette::HighlightedText : QPalette::Highlight);
    QColor dim = onSelection ? accent : secondaryColor(palette);
    dim.setAlphaF(onSelection ? 0.3f : dim.alphaF() * 0.25f);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 1; i <= barCount; ++i) {
        const double height = maxHeight * i / barCount;
        const QRectF bar(left + (i - 1) * (barWidth + barGap), bottom - height, barWidth, height);
        painter.setBrush(i <= lit ? accent : dim);
        painter.drawRoundedRect(bar, 1, 1);
    }
    painter.restore();
}

void SignalBarsView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintBars(painter, rect(), lit_, barWidth_, maxHeight_, palette());
}

// --- SignalSparkline ---

namespace {

constexpr int ages[] = {120, 60, 0};
constexpr double gridLevels[] = {-90, -70, -50};
const QChar minusSign(0x2212);

QString levelLabel(double level) {
    return (level < 0 ? QString(minusSign) : QString()) + QString::number(std::abs(level));
}

// Fritsch–Carlson tangents: the slope at each point, limited so that no segment
// overshoots the values at its ends.
std::vector<double> monotoneTangents(const std::vector<QPointF>& p) {
    const std::size_t n = p.size();
    std::vector<double> secant(n - 1);
    for (std::size_t k = 0; k + 1 < n; ++k) secant[k] = (p[k + 1].y() - p[k].y()) / (p[k + 1].x() - p[k].x());

    std::vector<double> m(n);
    m.front() = secant.front();
    m.back() = secant.back();
    for (std::size_t k = 1; k + 1 < n; ++k)
        m[k] = secant[k - 1] * secant[k] <= 0 ? 0.0 : (secant[k - 1] + secant[k]) / 2;

    for (std::size_t k = 0; k + 1 < n; ++k) {
        if (secant[k] == 0) {
            m[k] = m[k + 1] = 0;
            continue;
        }
        const double a = m[k] / secant[k];
        const double b = m[k + 1] / secant[k];
        const double length = std::hypot(a, b);
        if (length > 3) {
            m[k] = 3 / length * a * secant[k];
            m[k + 1] = 3 / length * b * secant[k];
        }
    }
    return m;
}

}  // namespace

SignalSparkline::SignalSparkline(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(height);
}

void SignalSparkline::setPoints(std::vector<SignalPoint> points, Instant now) {
    if (points == points_ && now == now_) return;
    points_ = std::move(points);
    now_ = now;
    update();
}

QSize SignalSparkline::sizeHint() const { return QSize(320, height); }

QString SignalSparkline::ageLabel(int secondsAgo) {
    if (secondsAgo == 0) return QStringLiteral("now");
    return QString(minusSign) + QString::number(secondsAgo) + QLatin1Char('s');
}

QPointF SignalSparkline::plotPosition(const SignalPoint& point, Instant now, const QRectF& plot) {
    const double age = secondsBetween(point.time, now);
    const double x = plot.right() - age / span * plot.width();
    const double y = plot.bottom() - (point.rssi - weakest) / (strongest - weakest) * plot.height();
    return QPointF(x, y);
}

QPainterPath SignalSparkline::curveThrough(const std::vector<QPointF>& points) {
    QPainterPath path;
    if (points.empty()) return path;
    path.moveTo(points.front());
    if (points.size() == 1) return path;
    const std::vector<double> m = monotoneTangents(points);
    for (std::size_t k = 0; k + 1 < points.size(); ++k) {
        const QPointF& a = points[k];
        const QPointF& b = points[k + 1];
        const double third = (b.x() - a.x()) / 3;
        path.cubicTo(QPointF(a.x() + third, a.y() + m[k] * third), QPointF(b.x() - third, b.y() - m[k + 1] * third),
                     b);
    }
    return path;
}

QRectF SignalSparkline::plotArea() const {
    const QFontMetricsF metrics(captionFont(font()));
    const double labelWidth = metrics.horizontalAdvance(levelLabel(-100)) + 6;
    const double labelHeight = metrics.height() + 2;
    const QRectF whole = QRectF(rect()).adjusted(1, metrics.height() / 2, -1, -1);
    return whole.adjusted(0, 0, -labelWidth, -labelHeight);
}

void SignalSparkline::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFont font = captionFont(this->font());
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const QRectF plot = plotArea();
    QColor grid = secondaryColor(palette());
    grid.setAlphaF(grid.alphaF() * 0.35f);
    const QColor label = secondaryColor(palette());

    for (double level : gridLevels) {
        const double y = plotPosition({now_, level}, now_, plot).y();
        painter.setPen(QPen(grid, 1, Qt::DashLine));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(label);
        painter.drawText(QPointF(plot.right() + 4, y + metrics.ascent() / 2 - 1), levelLabel(level));
    }
    for (int age : ages) {
        const double x = plot.right() - age / span * plot.width();
        painter.setPen(QPen(grid, 1));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom() + 3));
        const QString text = ageLabel(age);
        const double width = metrics.horizontalAdvance(text);
        const double left = age == static_cast<int>(span) ? x : age == 0 ? x - width : x - width / 2;
        painter.setPen(label);
        painter.drawText(QPointF(left, plot.bottom() + 3 + metrics.ascent()), text);
    }

    // History points are one per second in time order; anything out of order or
    // unreadable is left out rather than drawn as a loop or a spike.
    // Of the points older than the window only the last one is kept, so the line
    // still enters from the left edge.
    std::vector<QPointF> line;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const SignalPoint& point = points_[i];
        if (!std::isfinite(point.rssi)) continue;
        if (i + 1 < points_.size() && secondsBetween(points_[i + 1].time, now_) > span) continue;
        const QPointF at = plotPosition(point, now_, plot);
        if (!line.empty() && at.x() <= line.back().x()) continue;
        line.push_back(at);
    }
    painter.setClipRect(plot.adjusted(-2, -2, 2, 2));
    const QColor accent = palette().color(QPalette::Highlight);
    if (line.size() == 1) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(accent);
        painter.drawEllipse(line.front(), 2, 2);
    } else {
        painter.setPen(QPen(accent, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(curveThrough(line));
    }
}

}  // namespace quillmote
