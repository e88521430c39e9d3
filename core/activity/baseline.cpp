#include "core/activity/baseline.h"

#include <algorithm>
#include <map>

#include "core/time/interval_finder.h"

namespace quillmote {

namespace {

struct Sum {
    double total = 0;
    int count = 0;
};

}  // namespace

Baseline::Baseline(std::span<const MinuteRecord> minutes, Instant today, Calendar calendar)
    : calendar_(std::move(calendar)) {
    auto todayStart = calendar_.startOfDay(today);
    if (!todayStart) return;
    Instant windowStart = calendar_.addingDays(*todayStart, -lookbackDays).value_or(*todayStart);

    std::vector<const MinuteRecord*> kept;
    for (const auto& record : minutes) {
        if (record.isUsable() && windowStart <= record.minute && record.minute < *todayStart) {
            kept.push_back(&record);
        }
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const MinuteRecord* a, const MinuteRecord* b) { return a->minute < b->minute; });

    // Keyed by the hour's start, so a repeated hour at a clock change stays two entries.
    std::map<Instant, Sum> groups;
    IntervalFinder hours(IntervalFinder::Unit::hour, calendar_);
    for (const auto* record : kept) {
        auto start = hours.startOf(record->minute);
        if (!start) continue;
        auto& sum = groups[*start];
        sum.total += record->around;
        ++sum.count;
    }

    for (const auto& [start, sum] : groups) {
        if (sum.count < minutesPerHour) continue;
        auto day = calendar_.startOfDay(start);
        if (!day) continue;
        hours_.push_back({*day, calendar_.weekday(start), calendar_.isWeekend(start), calendar_.hour(start),
                          sum.total / sum.count});
    }
}

Baseline::Usual Baseline::usual(Instant at) const {
    int h = calendar_.hour(at);
    int w = calendar_.weekday(at);
    bool weekend = calendar_.isWeekend(at);
    int before = (h + 23) % 24;
    int after = (h + 1) % 24;

    std::vector<const HourOfDay*> sameWeekday, sameHour, nearby;
    for (const auto& entry : hours_) {
        if (entry.isWeekend != weekend) continue;
        if (entry.hour == h) {
            sameHour.push_back(&entry);
            if (entry.weekday == w) sameWeekday.push_back(&entry);
        }
        if (entry.hour == h || entry.hour == before || entry.hour == after) nearby.push_back(&entry);
    }

    auto medianOf = [](const std::vector<const HourOfDay*>& entries) {
        std::vector<double> means;
        means.reserve(entries.size());
        for (const auto* entry : entries) means.push_back(entry->mean);
        return median(std::move(means));
    };
    if (distinctDays(sameWeekday) >= daysNeeded) return Usual::known(medianOf(sameWeekday), Basis::sameWeekday);
    if (distinctDays(sameHour) >= daysNeeded) return Usual::known(medianOf(sameHour), Basis::sameKindOfDay);
    int days = distinctDays(nearby);
    if (days >= daysNeeded) return Usual::known(medianOf(nearby), Basis::nearbyHours);
    return Usual::learning(days);
}

double Baseline::median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    std::size_t middle = values.size() / 2;
    if (values.size() % 2 == 1) return values[middle];
    return values[middle - 1] / 2 + values[middle] / 2;
}

int Baseline::distinctDays(std::span<const HourOfDay* const> hours) {
    std::vector<Instant> days;
    days.reserve(hours.size());
    for (const auto* entry : hours) days.push_back(entry->day);
    std::sort(days.begin(), days.end());
    return static_cast<int>(std::unique(days.begin(), days.end()) - days.begin());
}

}  // namespace quillmote
