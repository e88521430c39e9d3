#include "core/activity/activity_page.h"

#include <gtest/gtest.h>

#include "tests/activity/local_time.h"

namespace quillmote {
namespace {

using test::newYorkWinter;
using test::utc;

const Calendar newYork("America/New_York", "en_US");
const std::string nb = "\u202F";  // ICU's space before AM and PM

// Thursday 5 March 2026, 3:30 PM in New York.
const Instant now = newYorkWinter(2026, 3, 5, 15, 30);

SurgeEvent episode(Instant started, std::optional<Instant> ended, std::vector<std::string> names = {}) {
    return {Uuid{}, started, ended, 14.5, 20, 27.5, std::move(names)};
}

// Usable minutes of one local hour at a level, with a few events each.
void addHour(std::vector<MinuteRecord>& minutes, Instant start, double around, std::int64_t observed = 60) {
    for (int m = 0; m < 60; ++m) minutes.push_back({start + std::chrono::minutes(m), observed, around, 1, 2, 1, 0});
}

struct Page {
    std::vector<MinuteRecord> minutes;
    std::optional<Baseline> baseline;
    std::vector<SurgeEvent> surges;
    NamedPresence presence;
    int aroundNow = 0;
    std::optional<double> usualOverride;

    ActivityPage build(ActivityRange range = ActivityRange::today, Instant at = now,
                       const Calendar& calendar = newYork) const {
        return buildActivityPage({minutes, baseline, surges, presence, aroundNow, usualOverride, range, at}, calendar);
    }
};

// Named presence with `days` past days recorded and `today` heard for these seconds.
NamedPresence presence(int days, std::vector<std::pair<std::string, std::int64_t>> today) {
    NamedPresence p;
    for (int d = 1; d <= days; ++d) p.days["Desk Hub"][NamedPresence::dayKey(now - std::chrono::hours(24 * d), newYork)] = {now, 600};
    for (const auto& [name, seconds] : today) p.days[name]["2026-03-05"] = {newYorkWinter(2026, 3, 5, 14, 5), seconds};
    return p;
}

TEST(ActivitySummary, EachPartOnlyWhenItHasSomethingToSay) {
    Page page;
    EXPECT_EQ(page.build().summary,
              "0 around now. Still learning what's normal for this hour (0 of 3 days) · no unusual crowds this week");

    // An open crowd leads, even while learning.
    page.aroundNow = 7;
    page.surges = {episode(now - std::chrono::hours(24 * 7), now - std::chrono::hours(24 * 7 - 1)),
                   episode(newYorkWinter(2026, 3, 5, 14, 2), std::nullopt)};
    EXPECT_EQ(page.build().summary,
              "Unusual crowd since 2:02" + nb + "PM: 28 around at peak, usual 15 · 2 unusual crowds this week");

    // A forced level has no basis; the busiest hour is the first of the highest;
    // named devices count once three past days are recorded.
    page.surges = {episode(now - std::chrono::hours(24 * 7) - std::chrono::seconds(1), now - std::chrono::hours(3))};
    page.usualOverride = 9.5;
    addHour(page.minutes, newYorkWinter(2026, 3, 5, 9), 12.5);
    addHour(page.minutes, newYorkWinter(2026, 3, 5, 10), 18);
    addHour(page.minutes, newYorkWinter(2026, 3, 5, 11), 18);
    addHour(page.minutes, newYorkWinter(2026, 3, 5, 12), 40, 44);  // not usable
    page.presence = presence(3, {{"Speaker", 60}});
    EXPECT_EQ(page.build().summary, "7 around now, usual 10 at this hour · busiest today 10" + nb + "AM–11" + nb +
                                        "AM with 18 around · 1 unfamiliar named device today · no unusual crowds this week");
    page.presence = presence(3, {{"Speaker", 60}, {"Tablet", 61}});
    EXPECT_NE(page.build().summary.find("· 2 unfamiliar named devices today ·"), std::string::npos);
    page.presence = presence(3, {});
    EXPECT_NE(page.build().summary.find("· no unfamiliar named devices today ·"), std::string::npos);
    page.presence = presence(2, {{"Speaker", 60}});
    EXPECT_EQ(page.build().summary.find("unfamiliar"), std::string::npos);

    // A learned level says what it is based on.
    page.usualOverride.reset();
    for (int d = 1; d <= 21; ++d) addHour(page.minutes, newYorkWinter(2026, 3, 5, 15) - std::chrono::hours(24 * d), 9);
    page.baseline.emplace(page.minutes, now, newYork);
    EXPECT_EQ(page.build().summary.rfind("7 around now, usual 9 at this hour for Thursdays · ", 0), 0u);
}

TEST(ActivityPage, UnfamiliarDevicesAndCrowdLog) {
    Page page;
    page.presence = presence(2, {{"Speaker", 600}});
    EXPECT_EQ(page.build().unfamiliar.text,
              "Still learning which named devices belong to the building (2 of 3 days). A device becomes a regular "
              "once it's heard for a minute or more on 3 separate days.");
    page.presence = presence(3, {});
    EXPECT_EQ(page.build().unfamiliar.text, "None today. Every named device heard for a minute or more is a regular.");

    page.presence = presence(3, {{"A", 60}, {"B", 119}, {"C", 120}});
    page.presence.days["B"]["2026-03-04"] = {now, 60};
    page.presence.days["C"]["2026-03-03"] = {now, 60};
    page.presence.days["C"]["2026-03-04"] = {now, 60};
    std::vector<std::string> details;
    for (const auto& row : page.build().unfamiliar.rows) details.push_back(row.name + ": " + row.detail);
    const std::string since = "since 2:05" + nb + "PM · ";
    EXPECT_EQ(details, (std::vector<std::string>{"A: " + since + "1 min · first time seen",
                                                 "B: " + since + "1 min · seen on 1 earlier day",
                                                 "C: " + since + "2 min · seen on 2 earlier days"}));

    EXPECT_EQ(page.build().crowds.text, "None recorded yet. You'll get one notification when the 30-minute average "
                                        "is at least 50% above normal and 10 or more devices higher.");
    for (int i = 0; i < 25; ++i) page.surges.push_back(episode(newYorkWinter(2026, 1, 1, i), utc(2026, 1, 2)));
    EXPECT_FALSE(page.build().crowds.caption);
    page.surges.push_back(episode(newYorkWinter(2026, 3, 5, 14, 2), newYorkWinter(2026, 3, 5, 15, 12), {"TV", "Jabra"}));
    page.surges.push_back(episode(newYorkWinter(2026, 3, 5, 15, 20), std::nullopt));
    const SurgeLog log = page.build().crowds;
    ASSERT_EQ(log.rows.size(), 25u);
    EXPECT_EQ(log.caption, "Showing the latest 25 of 27.");
    EXPECT_EQ(log.rows[0].line1, "Thu, Mar 5, 3:20" + nb + "PM, still going · 28 around at peak, usual 15");
    EXPECT_EQ(log.rows[0].line2, "No named devices were around.");
    EXPECT_EQ(log.rows[1].line1, "Thu, Mar 5, 2:02" + nb + "PM–3:12" + nb + "PM · 28 around at peak, usual 15");
    EXPECT_EQ(log.rows[1].line2, "TV, Jabra");
    EXPECT_EQ(log.rows[24].line1.substr(0, 16), "Thu, Jan 1, 2:00");  // the two oldest are left out
}

TEST(ActivityPage, ChartsKeepEverySlotAndPlotOnlyHeardOnes) {
    Page page;
    page.usualOverride = 10;
    addHour(page.minutes, newYorkWinter(2026, 3, 5, 14), 15.5);
    addHour(page.minutes, newYorkWinter(2026, 3, 5, 13), 30, 20);  // events but no usable minute
    addHour(page.minutes, newYorkWinter(2026, 3, 2, 9), 4);        // Monday
    addHour(page.minutes, newYorkWinter(2026, 3, 2, 10), 8);
    page.minutes.push_back({newYorkWinter(2026, 3, 5, 2), 60, 3, 0, 0, 0, 0});  // one heard minute is enough

    const ActivityPage today = page.build();
    const auto& around = today.devicesAround;
    ASSERT_EQ(around.buckets.size(), 24u);
    EXPECT_EQ(around.series, (std::vector<std::string>{"Average", "Usual"}));
    EXPECT_FALSE(around.buckets[13].around);
    EXPECT_EQ(around.tooltips[13], (ChartTooltip{"1" + nb + "PM", {}}));
    EXPECT_EQ(around.tooltips[14], (ChartTooltip{"2" + nb + "PM", {"16 around on average", "usual 10"}}));
    EXPECT_EQ(around.axis.domainStart, newYorkWinter(2026, 3, 5, 0));
    EXPECT_EQ(around.axis.domainEnd, newYorkWinter(2026, 3, 6, 0));
    std::vector<std::string> labels;
    for (const auto& mark : around.axis.marks) labels.push_back(mark.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"12" + nb + "AM", "3" + nb + "AM", "6" + nb + "AM", "9" + nb + "AM",
                                                "12" + nb + "PM", "3" + nb + "PM", "6" + nb + "PM", "9" + nb + "PM"}));
    const auto& comings = today.comingsAndGoings;
    ASSERT_EQ(comings.points.size(), 2u);
    EXPECT_EQ(comings.totals.arrived, 120);  // the unusable hour's events are not plotted
    EXPECT_EQ(comings.tooltips[1].lines, (std::vector<std::string>{"Arrived 120", "Left 60", "Moved 0", "Passing 60"}));

    const ActivityPage month = page.build(ActivityRange::month);
    ASSERT_EQ(month.devicesAround.buckets.size(), 30u);
    EXPECT_EQ(month.devicesAround.series, (std::vector<std::string>{"Average", "Busiest minute"}));
    EXPECT_EQ(month.devicesAround.axis.domainEnd, newYorkWinter(2026, 3, 6, 0));
    ASSERT_EQ(month.devicesAround.axis.marks.size(), 30u);
    EXPECT_EQ(month.devicesAround.axis.marks[26], (AxisMark{newYorkWinter(2026, 3, 2), "M", "2 Mar"}));
    EXPECT_EQ(month.devicesAround.axis.marks[27], (AxisMark{newYorkWinter(2026, 3, 3), "T", {}}));
    EXPECT_EQ(month.devicesAround.tooltips[26],
              (ChartTooltip{"Mon, Mar 2", {"6 around on average", "busiest minute 8"}}));
    EXPECT_EQ(month.comingsAndGoings.points.size(), 2u);

    const std::vector<Instant> starts{around.buckets[0].start, around.buckets[1].start};
    EXPECT_EQ(selectedBucket(starts, newYorkWinter(2026, 3, 5, 1, 59), ActivityRange::today, newYork), 1u);
    EXPECT_EQ(selectedBucket(starts, newYorkWinter(2026, 3, 5, 2), ActivityRange::today, newYork), std::nullopt);
    EXPECT_EQ(selectedBucket(starts, newYorkWinter(2026, 3, 5, 23), ActivityRange::month, newYork), 0u);
}

TEST(ActivityPage, ClockChangesAndOtherLocales) {
    // 10 March 2024 has 23 hours in New York, 3 November 25: the slots follow elapsed time.
    const auto labels = [](const ActivityPage& page) {
        std::string all;
        for (const auto& mark : page.devicesAround.axis.marks) all += mark.label + "|";
        return all;
    };
    const ActivityPage spring = Page{}.build(ActivityRange::today, utc(2024, 3, 10, 15));
    EXPECT_EQ(spring.devicesAround.buckets.size(), 24u);
    EXPECT_EQ(labels(spring), "12" + nb + "AM|3" + nb + "AM|6" + nb + "AM|9" + nb + "AM|12" + nb + "PM|3" + nb +
                                  "PM|6" + nb + "PM|9" + nb + "PM|12" + nb + "AM|");
    const ActivityPage autumn = Page{}.build(ActivityRange::today, utc(2024, 11, 3, 15));
    EXPECT_EQ(autumn.devicesAround.axis.marks.size(), 8u);
    EXPECT_EQ(autumn.devicesAround.axis.domainEnd, utc(2024, 11, 4, 4));  // 11 PM: 24 of the day's 25 hours

    // A 24-hour clock has no marker; the day letters are the same whatever day a week starts on.
    const Calendar berlin("Europe/Berlin", "de_DE");
    Page page;
    page.surges = {episode(utc(2026, 3, 5, 13, 2), utc(2026, 3, 5, 14, 12))};
    const ActivityPage german = page.build(ActivityRange::month, utc(2026, 3, 5, 15), berlin);
    EXPECT_EQ(german.crowds.rows[0].line1, "Do., 5. März, 14:02–15:12 · 28 around at peak, usual 15");
    EXPECT_EQ(german.devicesAround.tooltips.back().title, "Do., 5. März");
    EXPECT_EQ(page.build(ActivityRange::today, utc(2026, 3, 5, 15), berlin).devicesAround.axis.marks[5].label, "15 Uhr");
    const ActivityPage american = page.build(ActivityRange::month, utc(2026, 3, 5, 15), Calendar("Europe/Berlin", "en_US"));
    EXPECT_EQ(labels(german), labels(american));
    EXPECT_EQ(german.devicesAround.axis.marks[26].date, "2 Mar");
}

TEST(ActivityPage, WholeNumbersRoundHalvesAwayFromZero) {
    const std::pair<double, std::string> cases[] = {{2.5, "3"}, {-2.5, "-3"}, {14.49, "14"}, {-0.4, "0"}, {1e20, "100000000000000000000"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(wholeNumber(value), text) << value;
}

}  // namespace
}  // namespace quillmote
