#include "core/activity/activity_series.h"

#include <algorithm>
#include <array>
#include <map>

#include "core/time/interval_finder.h"

namespace quillmote {

namespace {

using Unit = IntervalFinder::Unit;

struct Group {
    double total = 0;
    std::optional<double> peak;
    int usable = 0;
    std::int64_t passing = 0;
    std::int64_t arrived = 0;
    std::int64_t left = 0;
    std::int64_t moved = 0;
};

std::vector<ActivityBucket> buckets(std::span<const MinuteRecord> minutes, const std::vector<Instant>& starts,
                                    Unit unit, const Calendar& calendar) {
    std::vector<ActivityBucket> result;
    if (starts.empty()) return result;

    // No hour or day is longer than this, even where a zone moved across the date line;
    // minutes outside every requested interval are dropped without asking the calendar.
    auto longest = unit == Unit::hour ? std::chrono::hours(3) : std::chrono::hours(3 * 24);
    auto [first, last] = std::minmax_element(starts.begin(), starts.end());
    Instant from = *first;
    Instant until = *last + longest;

    std::vector<const MinuteRecord*> inRange;
    for (const auto& record : minutes) {
        if (from <= record.minute && record.minute < until) inRange.push_back(&record);
    }
    std::stable_sort(inRange.begin(), inRange.end(),
                     [](const MinuteRecord* a, const MinuteRecord* b) { return a->minute < b->minute; });

    std::map<Instant, Group> groups;
    IntervalFinder intervals(unit, calendar);
    for (const auto* record : inRange) {
        auto start = intervals.startOf(record->minute);
        if (!start) continue;
        auto& group = groups[*start];
        if (record->isUsable()) {
            group.total += record->around;
            group.peak = std::max(group.peak.value_or(record->around), record->around);
            ++group.usable;
        }
        group.passing += record->passing;
        group.arrived += record->arrived;
        group.left += record->left;
        group.moved += record->moved;
    }

    result.reserve(starts.size());
    for (Instant start : starts) {
        ActivityBucket bucket;
        bucket.start = start;
        auto found = groups.find(start);
        if (found != groups.end()) {
            const auto& group = found->second;
            if (group.usable > 0) {
                bucket.around = group.total / group.usable;
                bucket.peak = group.peak;
            }
            bucket.passing = group.passing;
            bucket.arrived = group.arrived;
            bucket.left = group.left;
            bucket.moved = group.moved;
            bucket.heardMinutes = group.usable;
        }
        result.push_back(bucket);
    }
    return result;
}

}  // namespace

std::vector<ActivityBucket> ActivitySeries::hourly(std::span<const MinuteRecord> minutes, Instant on,
                                                   const Calendar& calendar) {
    std::vector<Instant> starts;
    auto dayStart = calendar.startOfDay(on);
    if (!dayStart) return {};
    // Elapsed hours from the day's start, so a clock change neither repeats nor skips a slot.
    for (int hour = 0; hour < 24; ++hour) {
        if (auto start = calendar.addingHours(*dayStart, hour)) starts.push_back(*start);
    }
    return buckets(minutes, starts, Unit::hour, calendar);
}

std::vector<ActivityBucket> ActivitySeries::daily(std::span<const MinuteRecord> minutes, int days, Instant endingOn,
                                                  const Calendar& calendar) {
    if (days <= 0) return {};
    auto dayStart = calendar.startOfDay(endingOn);
    if (!dayStart) return {};
    std::vector<Instant> starts;
    starts.reserve(static_cast<std::size_t>(days));
    for (int offset = 1 - days; offset <= 0; ++offset) {
        if (auto start = calendar.addingDays(*dayStart, offset)) starts.push_back(*start);
    }
    return buckets(minutes, starts, Unit::day, calendar);
}

DayAxisLabel::DayAxisLabel(Instant t, const Calendar& calendar) {
    static constexpr std::array<const char*, 7> letters{"S", "M", "T", "W", "T", "F", "S"};
    static constexpr std::array<const char*, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // Calendars with a thirteenth month, or anything else out of range, take the
    // nearest entry rather than reading past a table.
    int weekday = std::clamp(calendar.weekday(t), 1, 7);
    letter = letters[static_cast<std::size_t>(weekday - 1)];
    if (weekday == 2) {
        auto day = calendar.date(t);
        int month = std::clamp(day.month, 1, 12);
        date = std::to_string(day.day) + " " + months[static_cast<std::size_t>(month - 1)];
    }
}

}  // namespace quillmote
