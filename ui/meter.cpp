#include "ui/meter.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "ui/signal_colours.h"

namespace quillmote {

namespace {

QPainterPath capsule(const QRectF& rect) {
    QPainterPath path;
    const double radius = std::min(rect.width(), rect.height()) / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

}  // namespace

Meter::Meter(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    glide_.setDuration(glideMilliseconds);
    glide_.setEasingCurve(QEasingCurve::OutCubic);
    connect(&glide_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        shown_ = value.toDouble();
        update();
    });
}

double Meter::fraction(std::optional<double> rssi) {
    if (!rssi || !std::isfinite(*rssi)) return 0;
    return std::clamp((*rssi + 100) / 65, 0.0, 1.0);
}

void Meter::setRssi(std::optional<double> rssi) {
    const double next = fraction(rssi);
    if (next == target_) return;  // the session repeats itself every tick
    target_ = next;
    glide_.stop();
    glide_.setStartValue(shown_);
    glide_.setEndValue(target_);
    glide_.start();
}

QSize Meter::sizeHint() const { return {240, capsuleHeight}; }

QSize Meter::minimumSizeHint() const { return {capsuleHeight * 2, capsuleHeight}; }

void Meter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    const QRectF track(0, (height() - capsuleHeight) / 2.0, width(), capsuleHeight);
    painter.fillPath(capsule(track), SignalColours::faintFill(palette()));

    const double filled = track.width() * std::clamp(shown_, 0.0, 1.0);
    if (filled <= 0) return;
    const QRectF fill(track.left(), track.top(), filled, track.height());
    QLinearGradient gradient(fill.topLeft(), fill.topRight());
    gradient.setColorAt(0.0, SignalColours::blue());
    gradient.setColorAt(1.0 / 3, SignalColours::green());
    gradient.setColorAt(2.0 / 3, SignalColours::orange());
    gradient.setColorAt(1.0, SignalColours::red());
    painter.fillPath(capsule(fill), gradient);
}

}  // namespace quillmote
