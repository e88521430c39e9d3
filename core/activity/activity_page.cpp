#include "core/activity/activity_page.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "core/activity/normal.h"

namespace quillmote {

namespace {

constexpr std::string_view separator = " · ";
constexpr auto week = std::chrono::hours(7 * 24);
constexpr int historyDays = 30;

std::string joined(const std::vector<std::string>& parts, std::string_view between) {
    std::string text;
    for (const auto& part : parts) {
        if (!text.empty()) text += between;
        text += part;
    }
    return text;
}

std::string counted(std::int64_t n, std::string_view singular) {
    return std::to_string(n) + " " + std::string(singular) + (n == 1 ? "" : "s");
}

// "Mon, Mar 3" in English.
std::string dayTitle(Instant t, const Calendar& calendar) { return calendar.formatted(t, "EEEdMMM"); }

std::string bucketTitle(Instant start, ActivityRange range, const Calendar& calendar) {
    return range == ActivityRange::today ? calendar.hourName(start) : dayTitle(start, calendar);
}

std::optional<Instant> nextSlot(Instant start, ActivityRange range, const Calendar& calendar) {
    return range == ActivityRange::today ? calendar.addingHours(start, 1) : calendar.addingDays(start, 1);
}

TimeAxis timeAxis(std::span<const ActivityBucket> buckets, ActivityRange range, Instant now,
                  const Calendar& calendar) {
    TimeAxis axis;
    const Instant first = buckets.empty() ? now : buckets.front().start;
    const Instant last = buckets.empty() ? now : buckets.back().start;
    axis.domainStart = first;
    axis.domainEnd = nextSlot(last, range, calendar).value_or(last);
    std::optional<int> previousHour;
    for (const auto& bucket : buckets) {
        if (range == ActivityRange::month) {
            const DayAxisLabel label(bucket.start, calendar);
            axis.marks.push_back({bucket.start, label.letter, label.date});
            continue;
        }
        // Every third local hour; an hour the clocks repeat is marked once.
        const int hour = calendar.hour(bucket.start);
        if (hour % 3 == 0 && hour != previousHour) axis.marks.push_back({bucket.start, calendar.hourName(bucket.start), {}});
        previousHour = hour;
    }
    return axis;
}

DevicesAroundChart devicesAround(std::vector<ActivityBucket> buckets, const ActivityPageInput& input,
                                 const Calendar& calendar) {
    const bool today = input.range == ActivityRange::today;
    DevicesAroundChart chart;
    chart.title = "Devices around";
    chart.subtitle = today ? "Average per hour, with the usual level for each hour"
                           : "Average per day, with each day's busiest minute";
    chart.series = {"Average", today ? "Usual" : "Busiest minute"};
    chart.axis = timeAxis(buckets, input.range, input.now, calendar);
    for (const auto& bucket : buckets) {
        std::optional<double> usual;
        if (today) usual = usualLevel(input.baseline, input.usualOverride, bucket.start);
        ChartTooltip tooltip{bucketTitle(bucket.start, input.range, calendar), {}};
        if (bucket.around) {
            tooltip.lines.push_back(wholeNumber(*bucket.around) + " around on average");
            if (today && usual) tooltip.lines.push_back("usual " + wholeNumber(*usual));
            if (!today && bucket.peak) tooltip.lines.push_back("busiest minute " + wholeNumber(*bucket.peak));
        }
        chart.usual.push_back(usual);
        chart.tooltips.push_back(std::move(tooltip));
    }
    chart.buckets = std::move(buckets);
    return chart;
}

ComingsAndGoingsChart comingsAndGoings(std::span<const ActivityBucket> buckets, const ActivityPageInput& input,
                                       const Calendar& calendar) {
    ComingsAndGoingsChart chart;
    chart.title = "Comings and goings";
    chart.subtitle =
        "Devices that stayed a minute or more and arrived, left for 3+ minutes, or moved between near, same room "
        "and far";
    chart.passingHelp = "Devices heard for under a minute: mostly passers-by and faint devices at the edge of range.";
    chart.footnote =
        "Arrived and left include phones changing their privacy address (about every 15 minutes), so they show "
        "trends, not exact people.";
    // The axis keeps every slot; only heard ones are plotted.
    chart.axis = timeAxis(buckets, input.range, input.now, calendar);
    for (const auto& bucket : buckets) {
        if (bucket.heardMinutes <= 0) continue;
        chart.points.push_back(bucket);
        chart.totals.arrived += bucket.arrived;
        chart.totals.left += bucket.left;
        chart.totals.moved += bucket.moved;
        chart.totals.passing += bucket.passing;
        chart.tooltips.push_back({bucketTitle(bucket.start, input.range, calendar),
                                  {"Arrived " + std::to_string(bucket.arrived), "Left " + std::to_string(bucket.left),
                                   "Moved " + std::to_string(bucket.moved),
                                   "Passing " + std::to_string(bucket.passing)}});
    }
    return chart;
}

UnfamiliarDevices unfamiliarDevices(const ActivityPageInput& input, const Calendar& calendar) {
    UnfamiliarDevices block;
    block.title = "Unfamiliar named devices today";
    block.footnote =
        "Only devices that broadcast a name can be recognised. Phones and AirPods are anonymous and change "
        "identity, so they only show up in the counts.";
    const int needed = NamedPresence::regularAfterDays;
    const int recorded = input.presence.pastDaysRecorded(input.now, calendar);
    if (recorded < needed) {
        block.text = "Still learning which named devices belong to the building (" + std::to_string(recorded) +
                     " of " + std::to_string(needed) +
                     " days). A device becomes a regular once it's heard for a minute or more on " +
                     std::to_string(needed) + " separate days.";
        return block;
    }
    const auto devices = input.presence.unfamiliar(input.now, calendar);
    if (devices.empty()) {
        block.text = "None today. Every named device heard for a minute or more is a regular.";
        return block;
    }
    for (const auto& device : devices) {
        const std::int64_t minutes = std::max<std::int64_t>(device.secondsToday / 60, 1);
        const std::string history = device.earlierDays == 0 ? "first time seen"
                                                            : "seen on " + counted(device.earlierDays, "earlier day");
        block.rows.push_back({device.name, "since " + calendar.shortTime(device.firstHeardToday) + " · " +
                                               std::to_string(minutes) + " min · " + history});
    }
    return block;
}

SurgeLog surgeLog(std::span<const SurgeEvent> surges, const Calendar& calendar) {
    SurgeLog log;
    log.title = "Unusual crowds";
    if (surges.empty()) {
        log.text =
            "None recorded yet. You'll get one notification when the 30-minute average is at least 50% above "
            "normal and 10 or more devices higher.";
        return log;
    }
    const std::size_t shown = std::min(surges.size(), SurgeLog::rowsShown);
    for (auto it = surges.rbegin(); it != surges.rbegin() + static_cast<std::ptrdiff_t>(shown); ++it) {
        std::string when = calendar.formatted(it->started, "EEEdMMMjmm");
        when += it->ended ? "–" + calendar.shortTime(*it->ended) : ", still going";
        log.rows.push_back({when + " · " + wholeNumber(it->peakAround) + " around at peak, usual " +
                                wholeNumber(it->usualAround),
                            it->namedDevices.empty() ? "No named devices were around."
                                                     : joined(it->namedDevices, ", ")});
    }
    if (surges.size() > SurgeLog::rowsShown)
        log.caption = "Showing the latest " + std::to_string(SurgeLog::rowsShown) + " of " +
                      std::to_string(surges.size()) + ".";
    return log;
}

}  // namespace

std::string_view rangeName(ActivityRange range) { return range == ActivityRange::today ? "today" : "month"; }

std::string_view rangeTitle(ActivityRange range) {
    return range == ActivityRange::today ? "Today" : "Last 30 days";
}

std::string wholeNumber(double value) {
    const double rounded = std::round(value);  // halves away from zero
    char text[400];
    std::snprintf(text, sizeof text, "%.0f", rounded == 0 ? 0.0 : rounded);  // never "-0"
    return text;
}

std::string activitySummary(const ActivityPageInput& input, const Calendar& calendar) {
    std::vector<std::string> parts;
    const Instant now = input.now;
    const std::string around = std::to_string(input.aroundNow);

    if (!input.surges.empty() && !input.surges.back().ended) {
        const SurgeEvent& open = input.surges.back();
        parts.push_back("Unusual crowd since " + calendar.shortTime(open.started) + ": " +
                        wholeNumber(open.peakAround) + " around at peak, usual " + wholeNumber(open.usualAround));
    } else if (const Normal normal = normalAt(input.baseline, input.usualOverride, now); !normal.usual) {
        parts.push_back(around + " around now. Still learning what's normal for this hour (" +
                        std::to_string(normal.learningDays) + " of " + std::to_string(Baseline::daysNeeded) +
                        " days)");
    } else {
        std::string part = around + " around now, usual " + wholeNumber(*normal.usual) + " at this hour";
        if (auto label = basisLabel(normal.basis, now, calendar)) part += " for " + *label;
        parts.push_back(std::move(part));
    }

    const auto hours = ActivitySeries::hourly(input.minutes, now, calendar);
    const ActivityBucket* busiest = nullptr;
    for (const auto& bucket : hours)
        if (bucket.around && (!busiest || *bucket.around > *busiest->around)) busiest = &bucket;
    if (busiest) {
        const Instant end = calendar.addingHours(busiest->start, 1).value_or(busiest->start);
        parts.push_back("busiest today " + calendar.hourName(busiest->start) + "–" + calendar.hourName(end) +
                        " with " + wholeNumber(*busiest->around) + " around");
    }

    if (input.presence.pastDaysRecorded(now, calendar) >= NamedPresence::regularAfterDays) {
        const auto n = static_cast<std::int64_t>(input.presence.unfamiliar(now, calendar).size());
        parts.push_back(n == 0 ? "no unfamiliar named devices today"
                               : counted(n, "unfamiliar named device") + " today");
    }

    const auto k = std::count_if(input.surges.begin(), input.surges.end(),
                                 [now](const SurgeEvent& e) { return e.started >= now - week; });
    parts.push_back(k == 0 ? "no unusual crowds this week" : counted(k, "unusual crowd") + " this week");
    return joined(parts, separator);
}

ActivityPage buildActivityPage(const ActivityPageInput& input, const Calendar& calendar) {
    ActivityPage page;
    page.range = input.range;
    page.summary = activitySummary(input, calendar);
    auto buckets = input.range == ActivityRange::today
                       ? ActivitySeries::hourly(input.minutes, input.now, calendar)
                       : ActivitySeries::daily(input.minutes, historyDays, input.now, calendar);
    page.comingsAndGoings = comingsAndGoings(buckets, input, calendar);
    page.devicesAround = devicesAround(std::move(buckets), input, calendar);
    page.unfamiliar = unfamiliarDevices(input, calendar);
    page.crowds = surgeLog(input.surges, calendar);
    return page;
}

std::optional<std::size_t> selectedBucket(std::span<const Instant> starts, Instant x, ActivityRange range,
                                          const Calendar& calendar) {
    const auto slotOf = [&](Instant t) {
        return range == ActivityRange::today ? calendar.startOfHour(t) : calendar.startOfDay(t);
    };
    const auto slot = slotOf(x);
    if (!slot) return std::nullopt;
    for (std::size_t i = 0; i < starts.size(); ++i)
        if (slotOf(starts[i]) == slot) return i;
    return std::nullopt;
}

}  // namespace quillmote
