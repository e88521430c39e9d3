#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/activity/activity_series.h"
#include "core/activity/baseline.h"
#include "core/activity/minute_record.h"
#include "core/activity/named_presence.h"
#include "core/activity/surge_event.h"
#include "core/time/calendar.h"

namespace quillmote {

enum class ActivityRange { today, month };

// "today", "month": the launch setting's and the command line's word.
std::string_view rangeName(ActivityRange range);
// "Today", "Last 30 days": the range switch.
std::string_view rangeTitle(ActivityRange range);

struct ChartTooltip {
    std::string title;
    std::vector<std::string> lines;
    friend bool operator==(const ChartTooltip&, const ChartTooltip&) = default;
};

// A mark on a chart's time axis; `date` only under Mondays of the daily axis.
struct AxisMark {
    Instant at;
    std::string label;
    std::optional<std::string> date;
    friend bool operator==(const AxisMark&, const AxisMark&) = default;
};

// What both charts share: one slot per hour or day, and the time axis.
struct TimeAxis {
    Instant domainStart;
    Instant domainEnd;
    std::vector<AxisMark> marks;
};

struct DevicesAroundChart {
    std::string title;
    std::string subtitle;
    std::vector<std::string> series;  // the legend, in order
    std::vector<ActivityBucket> buckets;
    std::vector<std::optional<double>> usual;  // per bucket; today only
    std::vector<ChartTooltip> tooltips;        // per bucket
    TimeAxis axis;
};

struct ComingsAndGoingsChart {
    struct Totals {
        std::int64_t arrived = 0;
        std::int64_t left = 0;
        std::int64_t moved = 0;
        std::int64_t passing = 0;
    };
    std::string title;
    std::string subtitle;
    std::string passingHelp;
    std::string footnote;
    Totals totals;  // over the plotted buckets
    std::vector<ActivityBucket> points;  // the buckets with a heard minute
    std::vector<ChartTooltip> tooltips;  // per point
    TimeAxis axis;
};

struct UnfamiliarDevices {
    struct Row {
        std::string name;
        std::string detail;
    };
    std::string title;
    std::optional<std::string> text;  // learning, or none today; else rows
    std::vector<Row> rows;
    std::string footnote;
};

struct SurgeLog {
    static constexpr std::size_t rowsShown = 25;
    struct Row {
        std::string line1;
        std::string line2;
    };
    std::string title;
    std::optional<std::string> text;  // nothing recorded yet; else rows
    std::vector<Row> rows;            // newest first
    std::optional<std::string> caption;
};

// Everything the activity page shows, as text and numbers.
struct ActivityPage {
    std::string summary;
    ActivityRange range = ActivityRange::today;
    DevicesAroundChart devicesAround;
    ComingsAndGoingsChart comingsAndGoings;
    UnfamiliarDevices unfamiliar;
    SurgeLog crowds;
};

// What the page reads of the activity monitor, at one moment.
struct ActivityPageInput {
    std::span<const MinuteRecord> minutes;
    const std::optional<Baseline>& baseline;
    std::span<const SurgeEvent> surges;
    const NamedPresence& presence;
    int aroundNow = 0;
    std::optional<double> usualOverride;
    ActivityRange range = ActivityRange::today;
    Instant now;
};

ActivityPage buildActivityPage(const ActivityPageInput& input, const Calendar& calendar);

// The one-line summary: the crowd or the usual level now, today's busiest hour, the
// unfamiliar named devices, and this week's crowds.
std::string activitySummary(const ActivityPageInput& input, const Calendar& calendar);

// The bucket a pointer at `x` selects, among buckets starting at `starts`: the first
// one in the same local hour (today) or day (month).
std::optional<std::size_t> selectedBucket(std::span<const Instant> starts, Instant x, ActivityRange range,
                                          const Calendar& calendar);

// Rounded to the nearest integer, halves away from zero: "14".
std::string wholeNumber(double value);

}  // namespace quillmote
