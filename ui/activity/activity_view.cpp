#include "ui/activity/activity_view.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/activity/chart_palette.h"
#include "ui/activity/time_chart.h"
#include "ui/segmented_control.h"
#include "ui/text_styles.h"

namespace quillmote {

namespace {

constexpr int devicesAroundHeight = 220;
constexpr int comingsAndGoingsHeight = 200;
constexpr double markerSize = 8;

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

QLabel* styledLabel(const QString& content, QFont (*style)(const QFont&), bool secondary, QWidget* parent) {
    QLabel* label = textLabel(content, parent);
    if (style) label->setFont(style(label->font()));
    if (secondary) makeSecondary(*label);
    return label;
}

QLabel* swatch(const QColor& colour, QWidget* parent) {
    QPixmap picture(10 * parent->devicePixelRatio(), 10 * parent->devicePixelRatio());
    picture.setDevicePixelRatio(parent->devicePixelRatio());
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(0, 0, 10, 10), 3, 3);
    painter.end();
    auto* label = new QLabel(parent);
    label->setPixmap(picture);
    return label;
}

// Swatches with their texts in a row, 16 apart; replaces what the row held.
void fillRow(QWidget* row, const std::vector<std::pair<QColor, QString>>& items) {
    delete row->layout();
    qDeleteAll(row->findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    for (const auto& [colour, name] : items) {
        auto* item = new QHBoxLayout;
        item->setSpacing(5);
        item->addWidget(swatch(colour, row));
        item->addWidget(styledLabel(name, calloutFont, false, row));
        layout->addLayout(item);
    }
}

// Whether a box already shows what `key` sums up; remembers it otherwise. Rebuilding
// a box lays out the whole page again, so unchanged boxes are left alone.
bool showsAlready(QWidget* box, const QString& key) {
    if (box->property("shown").toString() == key) return true;
    box->setProperty("shown", key);
    return false;
}

// Replaces everything a box shows.
QVBoxLayout* cleared(QWidget* box) {
    delete box->layout();
    qDeleteAll(box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    return layout;
}

QLabel* headline(const std::string& title, QWidget* parent) { return styledLabel(text(title), headlineFont, false, parent); }

template <typename Series>
Series* styledSeries(const QString& name, TimeChart* chart) {
    auto* series = new Series(chart->chart());
    series->setName(name);
    chart->addSeries(series);
    return series;
}

}  // namespace

ActivityView::ActivityView(const ActivityMonitor& monitor, const Calendar& calendar, std::function<Instant()> now,
                           ActivityRange range, QWidget* parent)
    : QScrollArea(parent), monitor_(monitor), calendar_(calendar), now_(std::move(now)), range_(range) {
    setObjectName(QStringLiteral("activity"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(20, 16, 20, 20);
    layout->setSpacing(10);

    // A third-level title: larger than the headlines below it, not bold.
    summary_ = styledLabel({}, [](const QFont& base) {
        QFont font = base;
        if (base.pointSizeF() > 0) font.setPointSizeF(base.pointSizeF() * 1.2);
        return font;
    }, false, content);
    layout->addWidget(summary_);

    rangeSwitch_ = new SegmentedControl({text(std::string(rangeTitle(ActivityRange::today))),
                                         text(std::string(rangeTitle(ActivityRange::month)))},
                                        QStringLiteral("Range"), content);
    rangeSwitch_->setCurrent(range == ActivityRange::today ? 0 : 1);
    connect(rangeSwitch_, &SegmentedControl::chosen, this,
            [this](int index) { setRange(index == 0 ? ActivityRange::today : ActivityRange::month); });
    layout->addWidget(rangeSwitch_);
    layout->addSpacing(8);

    layout->addWidget(headline("Devices around", content));
    aroundSubtitle_ = styledLabel({}, calloutFont, true, content);
    layout->addWidget(aroundSubtitle_);
    aroundChart_ = new TimeChart(devicesAroundHeight, content);
    usualLine_ = styledSeries<QLineSeries>(QStringLiteral("Usual"), aroundChart_);
    peakPoints_ = styledSeries<QScatterSeries>(QStringLiteral("Busiest minute"), aroundChart_);
    layout->addWidget(aroundChart_);
    aroundLegend_ = new QWidget(content);
    layout->addWidget(aroundLegend_, 0, Qt::AlignLeft);
    layout->addSpacing(12);

    layout->addWidget(headline("Comings and goings", content));
    comingsSubtitle_ = styledLabel({}, calloutFont, true, content);
    layout->addWidget(comingsSubtitle_);
    totalsRow_ = new QWidget(content);
    layout->addWidget(totalsRow_, 0, Qt::AlignLeft);
    comingsChart_ = new TimeChart(comingsAndGoingsHeight, content);
    for (int i = 0; i < 3; ++i) {
        comingsLines_[i] = styledSeries<QLineSeries>({}, comingsChart_);
        comingsPoints_[i] = styledSeries<QScatterSeries>({}, comingsChart_);
    }
    layout->addWidget(comingsChart_);
    comingsFootnote_ = styledLabel({}, captionFont, true, content);
    layout->addWidget(comingsFootnote_);
    layout->addSpacing(12);

    unfamiliarBox_ = new QWidget(content);
    layout->addWidget(unfamiliarBox_);
    layout->addSpacing(12);
    crowdsBox_ = new QWidget(content);
    layout->addWidget(crowdsBox_);
    layout->addStretch(1);
    setWidget(content);

    connect(&monitor_, &ActivityMonitor::minuteClosed, this, &ActivityView::refresh);
    connect(&monitor_, &ActivityMonitor::surgesChanged, this, &ActivityView::refresh);
    connect(&monitor_, &ActivityMonitor::loaded, this, &ActivityView::refresh);
    connect(&monitor_, &ActivityMonitor::aroundNowChanged, this, &ActivityView::refreshSummary);
    applyColours();
    refresh();
}

ActivityPageInput ActivityView::input() const {
    return {monitor_.minutes(), monitor_.baseline(), monitor_.surges(), monitor_.presence(),
            monitor_.aroundNow(), monitor_.usualOverride(), range_, now_()};
}

void ActivityView::setRange(ActivityRange range) {
    if (range == range_) return;
    range_ = range;
    rangeSwitch_->setCurrent(range == ActivityRange::today ? 0 : 1);
    refresh();
}

QString ActivityView::summaryText() const { return summary_->text(); }

void ActivityView::refreshSummary() { summary_->setText(text(activitySummary(input(), calendar_))); }

void ActivityView::refresh() {
    page_ = buildActivityPage(input(), calendar_);
    summary_->setText(text(page_.summary));
    showDevicesAround();
    showComingsAndGoings();
    showUnfamiliar();
    showCrowds();
}

void ActivityView::applyColours() {
    const ChartPalette colours = ChartPalette::of(palette());
    usualLine_->setPen(QPen(colours.reference, 2));
    peakPoints_->setColor(colours.second);
    peakPoints_->setBorderColor(colours.second);
    peakPoints_->setMarkerSize(markerSize);
    const QColor seriesColours[3] = {colours.first, colours.second, colours.third};
    for (int i = 0; i < 3; ++i) {
        comingsLines_[i]->setPen(QPen(seriesColours[i], 2));
        comingsPoints_[i]->setColor(seriesColours[i]);
        comingsPoints_[i]->setBorderColor(seriesColours[i]);
        comingsPoints_[i]->setMarkerSize(markerSize);
    }
}

void ActivityView::changeEvent(QEvent* event) {
    QScrollArea::changeEvent(event);
    // Once the children have the new palette too: quieter text took its colour from the old one.
    if (event->type() == QEvent::PaletteChange)
        QMetaObject::invokeMethod(this, [this] {
            for (QLabel* label : {aroundSubtitle_, comingsSubtitle_, comingsFootnote_}) {
                label->setPalette(QPalette());
                makeSecondary(*label);
            }
            for (QWidget* box : {aroundLegend_, totalsRow_, unfamiliarBox_, crowdsBox_}) box->setProperty("shown", {});
            applyColours();
            refresh();
        }, Qt::QueuedConnection);
}

void ActivityView::showDevicesAround() {
    const DevicesAroundChart& model = page_.devicesAround;
    const ChartPalette colours = ChartPalette::of(palette());
    aroundSubtitle_->setText(text(model.subtitle));
    aroundChart_->setSlots(model.buckets, model.axis, page_.range, calendar_);

    std::vector<std::optional<double>> bars;
    QList<QPointF> usual;
    QList<QPointF> peaks;
    double largest = 0;
    std::vector<Instant> starts;
    for (std::size_t i = 0; i < model.buckets.size(); ++i) {
        const ActivityBucket& bucket = model.buckets[i];
        const double x = aroundChart_->xOf(bucket.start);
        bars.push_back(bucket.around);
        largest = std::max(largest, bucket.around.value_or(0));
        if (page_.range == ActivityRange::today && model.usual[i]) {
            usual << QPointF(x, *model.usual[i]);
            largest = std::max(largest, *model.usual[i]);
        }
        if (page_.range == ActivityRange::month && bucket.peak) {
            peaks << QPointF(x, *bucket.peak);
            largest = std::max(largest, *bucket.peak);
        }
        starts.push_back(bucket.start);
    }
    aroundChart_->setBars(std::move(bars), colours.first);
    usualLine_->replace(usual);
    peakPoints_->replace(peaks);
    aroundChart_->setLargest(largest);
    aroundChart_->setSelectable(std::move(starts), model.tooltips);

    const QColor secondColour = page_.range == ActivityRange::today ? colours.reference : colours.second;
    if (!showsAlready(aroundLegend_, text(model.series[1])))
        fillRow(aroundLegend_, {{colours.first, text(model.series[0])}, {secondColour, text(model.series[1])}});
}

void ActivityView::showComingsAndGoings() {
    const ComingsAndGoingsChart& model = page_.comingsAndGoings;
    const ChartPalette colours = ChartPalette::of(palette());
    comingsSubtitle_->setText(text(model.subtitle));
    comingsFootnote_->setText(text(model.footnote));
    comingsChart_->setSlots(page_.devicesAround.buckets, model.axis, page_.range, calendar_);

    QList<QPointF> values[3];
    double largest = 0;
    std::vector<Instant> starts;
    for (const ActivityBucket& bucket : model.points) {
        const double x = comingsChart_->xOf(bucket.start);
        const std::int64_t counts[3] = {bucket.arrived, bucket.left, bucket.moved};
        for (int i = 0; i < 3; ++i) {
            values[i] << QPointF(x, static_cast<double>(counts[i]));
            largest = std::max(largest, static_cast<double>(counts[i]));
        }
        starts.push_back(bucket.start);
    }
    for (int i = 0; i < 3; ++i) {
        comingsLines_[i]->replace(values[i]);
        comingsPoints_[i]->replace(values[i]);
    }
    comingsChart_->setLargest(largest);
    comingsChart_->setSelectable(std::move(starts), model.tooltips);

    const QString totals = QStringLiteral("%1 %2 %3 %4")
                               .arg(model.totals.arrived)
                               .arg(model.totals.left)
                               .arg(model.totals.moved)
                               .arg(model.totals.passing);
    if (showsAlready(totalsRow_, totals)) return;
    fillRow(totalsRow_, {{colours.first, QStringLiteral("Arrived %1").arg(model.totals.arrived)},
                         {colours.second, QStringLiteral("Left %1").arg(model.totals.left)},
                         {colours.third, QStringLiteral("Moved %1").arg(model.totals.moved)}});
    QLabel* passing = styledLabel(QStringLiteral("Passing %1").arg(model.totals.passing), calloutFont, true, totalsRow_);
    passing->setToolTip(text(model.passingHelp));
    static_cast<QHBoxLayout*>(totalsRow_->layout())->addWidget(passing);
}

void ActivityView::showUnfamiliar() {
    const UnfamiliarDevices& model = page_.unfamiliar;
    QString key = text(model.text.value_or(""));
    for (const auto& row : model.rows) key += text(row.name + "\n" + row.detail + "\n");
    if (showsAlready(unfamiliarBox_, key)) return;
    QVBoxLayout* layout = cleared(unfamiliarBox_);
    layout->addWidget(headline(model.title, unfamiliarBox_));
    if (model.text) layout->addWidget(styledLabel(text(*model.text), nullptr, true, unfamiliarBox_));
    for (const auto& row : model.rows) {
        auto* line = new QHBoxLayout;
        line->setSpacing(10);
        line->addWidget(styledLabel(text(row.name), nullptr, false, unfamiliarBox_), 0);
        line->addWidget(styledLabel(text(row.detail), calloutFont, true, unfamiliarBox_), 1);
        layout->addLayout(line);
    }
    layout->addWidget(styledLabel(text(model.footnote), captionFont, true, unfamiliarBox_));
}

void ActivityView::showCrowds() {
    const SurgeLog& model = page_.crowds;
    QString key = text(model.text.value_or("") + model.caption.value_or(""));
    for (const auto& row : model.rows) key += text(row.line1 + "\n" + row.line2 + "\n");
    if (showsAlready(crowdsBox_, key)) return;
    QVBoxLayout* layout = cleared(crowdsBox_);
    layout->addWidget(headline(model.title, crowdsBox_));
    if (model.text) layout->addWidget(styledLabel(text(*model.text), nullptr, true, crowdsBox_));
    for (const auto& row : model.rows) {
        auto* entry = new QVBoxLayout;
        entry->setSpacing(1);
        entry->addWidget(styledLabel(text(row.line1), nullptr, false, crowdsBox_));
        entry->addWidget(styledLabel(text(row.line2), calloutFont, true, crowdsBox_));
        layout->addLayout(entry);
    }
    if (model.caption) layout->addWidget(styledLabel(text(*model.caption), captionFont, true, crowdsBox_));
}

}  // namespace quillmote
