#pragma once

#include <QChartView>
#include <optional>
#include <span>
#include <vector>

#include "core/activity/activity_page.h"

class QValueAxis;
class QXYSeries;

namespace quillmote {

// A chart over the hours of a day or the days of a month: one slot per bucket, the
// time axis's marks drawn under the slots, horizontal grid lines, optional rounded
// bars, and a pointer that selects a bucket and shows its tooltip. The series are
// the owner's, placed with `xOf`.
class TimeChart : public QChartView {
    Q_OBJECT

public:
    TimeChart(int height, QWidget* parent = nullptr);

    // The slots (every bucket of the range, in order) and the axis to draw under them.
    void setSlots(std::span<const ActivityBucket> buckets, const TimeAxis& axis, ActivityRange range,
                  const Calendar& calendar);
    // A series on the chart's axes, owned by the chart.
    void addSeries(QXYSeries* series);
    // The chart x of a slot's middle, by its start.
    double xOf(Instant start) const;
    // Bars at their slots; none where a value is absent.
    void setBars(std::vector<std::optional<double>> values, QColor colour);
    // What the pointer can select, and what each shows.
    void setSelectable(std::vector<Instant> starts, std::vector<ChartTooltip> tooltips);
    // The y range from 0 to a nice number above `largest`, with grid lines.
    void setLargest(double largest);

    // Selects as the pointer does at `x`; nothing outside the slots.
    void pointAt(Instant x);
    std::optional<std::size_t> selected() const { return selected_; }
    const ChartTooltip* selectedTooltip() const;
    // Where the tooltip is drawn, in the view's coordinates.
    QRectF tooltipRect() const;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void drawBackground(QPainter* painter, const QRectF& rect) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;

private:
    struct Slot {
        Instant start;
        double from = 0;  // chart x of the slot's edges
        double to = 0;
    };

    QValueAxis* xAxis_;
    QValueAxis* yAxis_;
    const Calendar* calendar_ = nullptr;
    ActivityRange range_ = ActivityRange::today;
    Instant origin_{};
    std::vector<Slot> slots_;
    std::vector<AxisMark> marks_;
    std::vector<std::optional<double>> bars_;
    QColor barColour_;
    double step_ = 1;
    std::vector<Instant> selectable_;
    std::vector<ChartTooltip> tooltips_;
    std::optional<Instant> pointer_;
    std::optional<std::size_t> selected_;

    double seconds(Instant t) const;
    // Chart values as scene coordinates, where the background and foreground are drawn.
    QPointF toView(double x, double y) const;
    void reselect();
    QRectF tooltipRectIn(const QRectF& plot) const;
};

}  // namespace quillmote
