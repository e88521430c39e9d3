#pragma once

#include <QPainterPath>
#include <QPalette>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

#include "core/signal/signal_history.h"
#include "core/time/instant.h"

class QPainter;

namespace quillmote {

// Five bottom-aligned bars, lit up to the count for the reading. Read aloud as
// "3 of 5 bars".
class SignalBarsView : public QWidget {
    Q_OBJECT

public:
    static constexpr int barCount = 5;
    static constexpr double barGap = 1.5;

    SignalBarsView(double barWidth, double maxHeight, QWidget* parent = nullptr);
    void setRssi(std::optional<double> rssi);
    int litBars() const { return lit_; }

    // The drawing itself, shared with the device list's signal column: the bars
    // are centred in `area`. On a selected row they take the selection's text
    // colour, since the accent they are lit with is the selection's own colour.
    static void paintBars(QPainter& painter, const QRectF& area, int lit, double barWidth, double maxHeight,
                          const QPalette& palette, bool onSelection = false);
    static QSize barsSize(double barWidth, double maxHeight);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double barWidth_;
    double maxHeight_;
    int lit_ = 0;
};

// The last two minutes of smoothed signal as a curved line, −100…−30 dBm, with
// marks at two minutes ago, one minute ago and now.
class SignalSparkline : public QWidget {
    Q_OBJECT

public:
    static constexpr double span = 120.0;  // seconds shown
    static constexpr double weakest = -100.0;
    static constexpr double strongest = -30.0;
    static constexpr int height = 90;

    explicit SignalSparkline(QWidget* parent = nullptr);
    void setPoints(std::vector<SignalPoint> points, Instant now);
    QSize sizeHint() const override;

    // "−120s", "−60s" (with a true minus sign), and "now" for zero.
    static QString ageLabel(int secondsAgo);
    // Where a reading lands in `plot`: `now` − 120 s on the left edge, `now` on the
    // right, −100 dBm at the bottom, −30 dBm at the top. Not clamped.
    static QPointF plotPosition(const SignalPoint& point, Instant now, const QRectF& plot);
    // A smooth curve through every point, left to right, that never swings beyond
    // its neighbours (monotone cubic): a steady signal stays a flat line.
    static QPainterPath curveThrough(const std::vector<QPointF>& points);

    // The area inside the axis labels.
    QRectF plotArea() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<SignalPoint> points_;
    Instant now_{};
};

}  // namespace quillmote
