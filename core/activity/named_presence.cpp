#include "core/activity/named_presence.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace quillmote {

namespace {

int countDaysHeard(const std::map<std::string, NamedPresence::Day>& days, const std::set<std::string>& recent) {
    int count = 0;
    for (const auto& [key, day] : days) {
        if (day.seconds >= NamedPresence::minimumSecondsPerDay && recent.contains(key)) ++count;
    }
    return count;
}

}  // namespace

std::string NamedPresence::dayKey(Instant t, const Calendar& calendar) {
    auto date = calendar.date(t);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

std::set<std::string> NamedPresence::recentDayKeys(Instant before, const Calendar& calendar) {
    std::set<std::string> keys;
    auto today = calendar.startOfDay(before);
    if (!today) return keys;
    for (int back = 1; back <= lookbackDays; ++back) {
        if (auto day = calendar.addingDays(*today, -back)) keys.insert(dayKey(*day, calendar));
    }
    return keys;
}

void NamedPresence::heard(const std::set<std::string>& names, Instant at, const Calendar& calendar) {
    if (names.empty()) return;
    std::string today = dayKey(at, calendar);
    for (const auto& name : names) {
        auto entry = days[name].try_emplace(today, Day{at, 0}).first;
        ++entry->second.seconds;
    }
}

int NamedPresence::pastDaysRecorded(Instant asOf, const Calendar& calendar) const {
    std::string today = dayKey(asOf, calendar);
    auto recent = recentDayKeys(asOf, calendar);
    std::set<std::string> recorded;
    for (const auto& [name, byDay] : days) {
        for (const auto& [key, day] : byDay) {
            if (key != today && recent.contains(key)) recorded.insert(key);
        }
    }
    return static_cast<int>(recorded.size());
}

bool NamedPresence::isLearning(Instant asOf, const Calendar& calendar) const {
    return pastDaysRecorded(asOf, calendar) < regularAfterDays;
}

int NamedPresence::daysHeard(const std::string& name, Instant before, const Calendar& calendar) const {
    auto found = days.find(name);
    if (found == days.end()) return 0;
    return countDaysHeard(found->second, recentDayKeys(before, calendar));
}

bool NamedPresence::isRegular(const std::string& name, Instant asOf, const Calendar& calendar) const {
    return daysHeard(name, asOf, calendar) >= regularAfterDays;
}

std::vector<UnfamiliarDevice> NamedPresence::unfamiliar(Instant on, const Calendar& calendar) const {
    std::string today = dayKey(on, calendar);
    // The same 28 days for every name.
    auto recent = recentDayKeys(on, calendar);
    std::vector<UnfamiliarDevice> result;
    for (const auto& [name, byDay] : days) {
        auto todays = byDay.find(today);
        if (todays == byDay.end() || todays->second.seconds < minimumSecondsPerDay) continue;
        int earlier = countDaysHeard(byDay, recent);
        if (earlier >= regularAfterDays) continue;
        result.push_back({name, todays->second.firstHeard, todays->second.seconds, earlier});
    }
    std::stable_sort(result.begin(), result.end(), [](const UnfamiliarDevice& a, const UnfamiliarDevice& b) {
        return a.firstHeardToday < b.firstHeardToday;
    });
    return result;
}

void NamedPresence::pruneOlderThan(int dayCount, Instant now, const Calendar& calendar) {
    auto today = calendar.startOfDay(now);
    if (!today) return;
    auto cutoff = calendar.addingDays(*today, -std::max(dayCount, -std::numeric_limits<int>::max()));
    if (!cutoff) return;
    std::string cutoffKey = dayKey(*cutoff, calendar);
    for (auto name = days.begin(); name != days.end();) {
        auto& byDay = name->second;
        // Keys sort as dates, so everything before the cutoff is one leading range.
        byDay.erase(byDay.begin(), byDay.lower_bound(cutoffKey));
        name = byDay.empty() ? days.erase(name) : std::next(name);
    }
}

}  // namespace quillmote
