#include "ui/activity/time_chart.h"

#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QValueAxis>
#include <QXYSeries>
#include <cmath>

#include "ui/activity/chart_palette.h"
#include "ui/text_styles.h"

namespace quillmote {

namespace {

constexpr double barInset = 0.18;  // of a slot's width, on each side
constexpr double padding = 6;

// A step of 1, 2 or 5 times a power of ten giving about four grid lines, never
// below one device.
double niceStep(double largest) {
    const double raw = std::max(largest / 4, 1.0);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0})
        if (factor * magnitude >= raw) return factor * magnitude;
    return 10 * magnitude;
}

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

TimeChart::TimeChart(int height, QWidget* parent) : QChartView(parent) {
    setFixedHeight(height);
    setFrameShape(QFrame::NoFrame);
    setRenderHint(QPainter::Antialiasing);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);

    QChart* chart = this->chart();
    chart->legend()->hide();
    chart->setBackgroundVisible(false);
    chart->setPlotAreaBackgroundVisible(false);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);

    xAxis_ = new QValueAxis(chart);
    xAxis_->setVisible(false);  // its labels are drawn under the slots instead
    yAxis_ = new QValueAxis(chart);
    yAxis_->setTickType(QValueAxis::TicksDynamic);
    yAxis_->setTickAnchor(0);
    yAxis_->setLabelFormat(QStringLiteral("%.0f"));
    yAxis_->setGridLineVisible(false);  // drawn under the bars instead
    yAxis_->setLineVisible(false);
    yAxis_->setLabelsFont(captionFont(font()));
    yAxis_->setLabelsBrush(secondaryColor(palette()));
    chart->addAxis(xAxis_, Qt::AlignBottom);
    chart->addAxis(yAxis_, Qt::AlignLeft);
    setLargest(0);
}

void TimeChart::addSeries(QXYSeries* series) {
    chart()->addSeries(series);
    series->attachAxis(xAxis_);
    series->attachAxis(yAxis_);
}

double TimeChart::seconds(Instant t) const { return secondsBetween(origin_, t); }

void TimeChart::setSlots(std::span<const ActivityBucket> buckets, const TimeAxis& axis, ActivityRange range,
                         const Calendar& calendar) {
    calendar_ = &calendar;
    range_ = range;
    origin_ = axis.domainStart;
    slots_.clear();
    for (std::size_t i = 0; i < buckets.size(); ++i) {
        const Instant end = i + 1 < buckets.size() ? buckets[i + 1].start : axis.domainEnd;
        slots_.push_back({buckets[i].start, seconds(buckets[i].start), seconds(end)});
    }
    marks_ = axis.marks;
    // Room under the plot for the time labels, two lines on the daily axis.
    const QFontMetricsF metrics(captionFont(font()));
    const int lines = range == ActivityRange::month ? 2 : 1;
    const QMargins margins(4, 4, 8, static_cast<int>(std::ceil(lines * metrics.lineSpacing() + 6)));
    if (chart()->margins() != margins) chart()->setMargins(margins);
    xAxis_->setRange(0, std::max(seconds(axis.domainEnd), 1.0));
    reselect();
    viewport()->update();
}

double TimeChart::xOf(Instant start) const {
    for (const Slot& slot : slots_)
        if (slot.start == start) return (slot.from + slot.to) / 2;
    return seconds(start);
}

void TimeChart::setBars(std::vector<std::optional<double>> values, QColor colour) {
    bars_ = std::move(values);
    barColour_ = colour;
    viewport()->update();
}

void TimeChart::setSelectable(std::vector<Instant> starts, std::vector<ChartTooltip> tooltips) {
    selectable_ = std::move(starts);
    tooltips_ = std::move(tooltips);
    reselect();
    viewport()->update();
}

void TimeChart::setLargest(double largest) {
    step_ = niceStep(largest);
    const double top = std::max(std::ceil(largest / step_), 1.0) * step_;
    yAxis_->setTickInterval(step_);
    yAxis_->setRange(0, top);
    viewport()->update();
}

void TimeChart::pointAt(Instant x) {
    pointer_ = x;
    reselect();
    viewport()->update();
}

void TimeChart::reselect() {
    selected_.reset();
    if (!pointer_ || !calendar_) return;
    selected_ = selectedBucket(selectable_, *pointer_, range_, *calendar_);
    if (selected_ && *selected_ >= tooltips_.size()) selected_.reset();
}

const ChartTooltip* TimeChart::selectedTooltip() const { return selected_ ? &tooltips_[*selected_] : nullptr; }

void TimeChart::mouseMoveEvent(QMouseEvent* event) {
    QChartView::mouseMoveEvent(event);
    const QPointF inChart = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    if (!chart()->plotArea().contains(inChart) || slots_.empty()) {
        if (pointer_) {
            pointer_.reset();
            reselect();
            viewport()->update();
        }
        return;
    }
    pointAt(addingSeconds(origin_, chart()->mapToValue(inChart).x()));
}

void TimeChart::changeEvent(QEvent* event) {
    QChartView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) yAxis_->setLabelsBrush(secondaryColor(palette()));
}

void TimeChart::leaveEvent(QEvent* event) {
    QChartView::leaveEvent(event);
    pointer_.reset();
    reselect();
    viewport()->update();
}

QPointF TimeChart::toView(double x, double y) const {
    return chart()->mapToScene(chart()->mapToPosition(QPointF(x, y)));
}

void TimeChart::drawBackground(QPainter* painter, const QRectF& rect) {
    painter->fillRect(rect, palette().color(QPalette::Window));
    const ChartPalette colours = ChartPalette::of(palette());
    const QRectF plot = chart()->mapRectToScene(chart()->plotArea());

    // Grid lines first, bars over them, the series over both.
    painter->setPen(QPen(colours.grid, 1));
    for (double value = 0; value <= yAxis_->max() + step_ / 2; value += step_) {
        const double y = std::round(toView(0, value).y()) + 0.5;
        painter->drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    painter->setPen(Qt::NoPen);
    painter->setBrush(barColour_);
    for (std::size_t i = 0; i < bars_.size() && i < slots_.size(); ++i) {
        if (!bars_[i] || *bars_[i] <= 0) continue;
        const double inset = (slots_[i].to - slots_[i].from) * barInset;
        const QRectF bar(toView(slots_[i].from + inset, *bars_[i]), toView(slots_[i].to - inset, 0));
        const double radius = std::min(4.0, bar.width() / 2);
        painter->drawRoundedRect(bar.normalized(), radius, radius);
    }
}

QRectF TimeChart::tooltipRectIn(const QRectF& plot) const {
    const ChartTooltip* tooltip = selectedTooltip();
    if (!tooltip) return {};
    QFont titleFont = captionFont(font());
    titleFont.setBold(true);
    const QFontMetricsF titleMetrics(titleFont);
    const QFontMetricsF lineMetrics(captionFont(font()));
    double width = titleMetrics.horizontalAdvance(text(tooltip->title));
    for (const auto& line : tooltip->lines) width = std::max(width, lineMetrics.horizontalAdvance(text(line)));
    const QSizeF size(std::ceil(width) + 2 * padding,
                      titleMetrics.height() + static_cast<double>(tooltip->lines.size()) * lineMetrics.lineSpacing() +
                          2 * padding);
    const double ruleX = toView(xOf(selectable_[*selected_]), 0).x();
    // Centred on the rule, but kept inside the chart.
    const double left = std::clamp(ruleX - size.width() / 2, plot.left(), std::max(plot.left(), plot.right() - size.width()));
    return {QPointF(left, plot.top()), size};
}

QRectF TimeChart::tooltipRect() const {
    const QRectF rect = tooltipRectIn(chart()->mapRectToScene(chart()->plotArea()));
    return rect.isNull() ? rect : QRectF(mapFromScene(rect.topLeft()), rect.size());
}

void TimeChart::drawForeground(QPainter* painter, const QRectF&) {
    const QRectF plot = chart()->mapRectToScene(chart()->plotArea());
    const QFont caption = captionFont(font());
    const QFontMetricsF metrics(caption);
    painter->setFont(caption);
    painter->setPen(secondaryColor(palette()));
    for (const AxisMark& mark : marks_) {
        const double x = toView(xOf(mark.at), 0).x();
        QRectF cell(x - 40, plot.bottom() + 4, 80, metrics.lineSpacing());
        painter->drawText(cell, Qt::AlignHCenter | Qt::AlignTop, text(mark.label));
        if (mark.date) {
            cell.translate(0, metrics.lineSpacing());
            painter->drawText(cell, Qt::AlignHCenter | Qt::AlignTop, text(*mark.date));
        }
    }

    const ChartTooltip* tooltip = selectedTooltip();
    if (!tooltip) return;
    const ChartPalette colours = ChartPalette::of(palette());
    const double ruleX = toView(xOf(selectable_[*selected_]), 0).x();
    painter->setPen(QPen(colours.grid, 2));
    painter->drawLine(QPointF(ruleX, plot.top()), QPointF(ruleX, plot.bottom()));

    const QRectF box = tooltipRectIn(plot);
    QColor fill = palette().color(QPalette::Window);
    fill.setAlphaF(0.94f);
    painter->setPen(QPen(colours.grid, 1));
    painter->setBrush(fill);
    painter->drawRoundedRect(box, 6, 6);
    QFont titleFont = caption;
    titleFont.setBold(true);
    const QFontMetricsF titleMetrics(titleFont);
    painter->setPen(palette().color(QPalette::WindowText));
    painter->setFont(titleFont);
    QPointF at = box.topLeft() + QPointF(padding, padding + titleMetrics.ascent());
    painter->drawText(at, text(tooltip->title));
    painter->setFont(caption);
    at.ry() += titleMetrics.descent() + metrics.ascent() + (metrics.lineSpacing() - metrics.height());
    for (const auto& line : tooltip->lines) {
        painter->drawText(at, text(line));
        at.ry() += metrics.lineSpacing();
    }
}

}  // namespace quillmote
