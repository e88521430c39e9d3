#pragma once

#include <QScrollArea>
#include <functional>

#include "app/activity_monitor.h"
#include "core/activity/activity_page.h"

class QLabel;
class QLineSeries;
class QScatterSeries;
class QVBoxLayout;

namespace quillmote {

class SegmentedControl;
class TimeChart;

// The activity page: the summary, the range switch, the devices-around and
// comings-and-goings charts, today's unfamiliar named devices and the crowd log.
// It draws the page model of the monitor's state and redraws when a minute closes,
// a crowd changes or the range changes.
class ActivityView : public QScrollArea {
    Q_OBJECT

public:
    ActivityView(const ActivityMonitor& monitor, const Calendar& calendar, std::function<Instant()> now,
                 ActivityRange range, QWidget* parent = nullptr);

    ActivityRange range() const { return range_; }
    void setRange(ActivityRange range);
    void refresh();

    const ActivityPage& page() const { return page_; }
    QString summaryText() const;
    SegmentedControl* rangeSwitch() const { return rangeSwitch_; }
    TimeChart* devicesAroundChart() const { return aroundChart_; }
    TimeChart* comingsAndGoingsChart() const { return comingsChart_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    const ActivityMonitor& monitor_;
    const Calendar& calendar_;
    std::function<Instant()> now_;
    ActivityRange range_;
    ActivityPage page_;

    QLabel* summary_;
    SegmentedControl* rangeSwitch_;
    QLabel* aroundSubtitle_;
    TimeChart* aroundChart_;
    QLineSeries* usualLine_;
    QScatterSeries* peakPoints_;
    QWidget* aroundLegend_;
    QLabel* comingsSubtitle_;
    QWidget* totalsRow_;
    TimeChart* comingsChart_;
    QLineSeries* comingsLines_[3];
    QScatterSeries* comingsPoints_[3];
    QLabel* comingsFootnote_;
    QWidget* unfamiliarBox_;
    QWidget* crowdsBox_;

    ActivityPageInput input() const;
    void refreshSummary();
    void applyColours();
    void showDevicesAround();
    void showComingsAndGoings();
    void showUnfamiliar();
    void showCrowds();
};

}  // namespace quillmote
