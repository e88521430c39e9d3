#pragma once

#include <QVariantAnimation>
#include <QWidget>
#include <optional>

namespace quillmote {

// Hotter/colder at a glance: a capsule filled from the leading edge in proportion
// to the signal, blue through red. Changes glide rather than jump.
class Meter : public QWidget {
    Q_OBJECT

public:
    static constexpr int capsuleHeight = 18;
    static constexpr int glideMilliseconds = 200;

    explicit Meter(QWidget* parent = nullptr);

    // 0 at −100 dBm and weaker (or without a reading), 1 at −35 dBm and stronger.
    static double fraction(std::optional<double> rssi);

    void setRssi(std::optional<double> rssi);
    // Where the fill is heading, and where it is drawn right now.
    double targetFraction() const { return target_; }
    double shownFraction() const { return shown_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double target_ = 0;
    double shown_ = 0;
    QVariantAnimation glide_;
};

}  // namespace quillmote
