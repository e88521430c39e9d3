#pragma once

#include <QPalette>
#include <QWidget>
#include <optional>
#include <vector>

#include "core/signal/signal_history.h"
#include "core/time/instant.h"

class QPainter;

namespace quillmote {

// Five bottom-aligned bars, lit up to the count for the reading.
class SignalBarsView : public QWidget {
    Q_OBJECT

public:
    SignalBarsView(double barWidth, double maxHeight, QWidget* parent = nullptr);
    void setRssi(std::optional<double> rssi);
    int litBars() const { return lit_; }

    // The drawing itself, shared with the device list's signal column.
    static void paintBars(QPainter& painter, const QRectF& area, int lit, double barWidth, double maxHeight,
                          const QPalette& palette);
    static QSize barsSize(double barWidth, double maxHeight);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double barWidth_;
    double maxHeight_;
    int lit_ = 0;
};

// The last two minutes of smoothed signal as a curved line, −100…−30 dBm.
class SignalSparkline : public QWidget {
    Q_OBJECT

public:
    explicit SignalSparkline(QWidget* parent = nullptr);
    void setPoints(std::vector<SignalPoint> points, Instant now);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<SignalPoint> points_;
    Instant now_{};
};

}  // namespace quillmote
