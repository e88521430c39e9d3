#include <QStringList>
#include <charconv>
#include <filesystem>
#include <iostream>

#include "app/launch_settings.h"
#include "cli/commands.h"
#include "cli/record_json.h"
#include "core/activity/activity_page.h"
#include "core/activity/history_files.h"
#include "core/sightings/printable_text.h"

namespace quillmote::cli {

namespace {

using json = nlohmann::json;

json axisJson(const TimeAxis& axis) {
    json marks = json::array();
    for (const auto& mark : axis.marks) {
        json item = {{"at", formatISO8601(mark.at)}, {"label", mark.label}};
        if (mark.date) item["date"] = *mark.date;
        marks.push_back(std::move(item));
    }
    return {{"domain", {formatISO8601(axis.domainStart), formatISO8601(axis.domainEnd)}}, {"marks", marks}};
}

json pageJson(const ActivityPage& page) {
    const auto& around = page.devicesAround;
    json buckets = json::array();
    json tooltips = json::array();
    for (std::size_t i = 0; i < around.buckets.size(); ++i) {
        const auto& bucket = around.buckets[i];
        json item = {{"start", formatISO8601(bucket.start)}};
        if (bucket.around) item["around"] = *bucket.around;
        if (page.range == ActivityRange::today && around.usual[i]) item["usual"] = *around.usual[i];
        if (page.range == ActivityRange::month && bucket.peak) item["peak"] = *bucket.peak;
        buckets.push_back(std::move(item));
        tooltips.push_back({{"start", formatISO8601(bucket.start)},
                            {"title", around.tooltips[i].title},
                            {"lines", around.tooltips[i].lines}});
    }
    json devicesAround = axisJson(around.axis);
    devicesAround.update(
        {{"title", around.title}, {"subtitle", around.subtitle}, {"series", around.series}, {"buckets", buckets}});

    const auto& comings = page.comingsAndGoings;
    json points = json::array();
    for (const auto& bucket : comings.points)
        points.push_back({{"start", formatISO8601(bucket.start)},
                          {"arrived", bucket.arrived},
                          {"left", bucket.left},
                          {"moved", bucket.moved},
                          {"passing", bucket.passing}});
    json comingsAndGoings = {{"title", comings.title},
                             {"subtitle", comings.subtitle},
                             {"totals",
                              {{"arrived", comings.totals.arrived},
                               {"left", comings.totals.left},
                               {"moved", comings.totals.moved},
                               {"passing", comings.totals.passing}}},
                             {"points", points},
                             {"footnote", comings.footnote}};

    json unfamiliar = {{"title", page.unfamiliar.title}, {"footnote", page.unfamiliar.footnote}};
    if (page.unfamiliar.text) {
        unfamiliar["text"] = *page.unfamiliar.text;
    } else {
        unfamiliar["rows"] = json::array();
        for (const auto& row : page.unfamiliar.rows)
            unfamiliar["rows"].push_back({{"name", row.name}, {"detail", row.detail}});
    }

    json crowds = {{"title", page.crowds.title}};
    if (page.crowds.text) {
        crowds["text"] = *page.crowds.text;
    } else {
        crowds["rows"] = json::array();
        for (const auto& row : page.crowds.rows) crowds["rows"].push_back({{"line1", row.line1}, {"line2", row.line2}});
        if (page.crowds.caption) crowds["caption"] = *page.crowds.caption;
    }

    return {{"summary", page.summary},           {"range", std::string(rangeName(page.range))},
            {"devicesAround", devicesAround},    {"comingsAndGoings", comingsAndGoings},
            {"unfamiliar", unfamiliar},          {"crowds", crowds},
            {"tooltips", tooltips}};
}

std::optional<int> parseCount(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// The stored history as the monitor reads it at start, as it stood at `now`: nothing
// later than `now` is kept, and an episode that ended afterwards was still open.
struct History {
    std::vector<MinuteRecord> minutes;
    std::vector<SurgeEvent> surges;
    NamedPresence presence;
};

History loadHistory(const HistoryFiles& files, Instant now, const Calendar& calendar) {
    History history;
    history.minutes = files.minutes(now - std::chrono::hours(24 * 30), now);
    for (auto surge : files.loadSurges()) {
        if (surge.started > now) continue;
        if (surge.ended && *surge.ended > now) surge.ended.reset();
        history.surges.push_back(std::move(surge));
    }
    history.presence = files.loadNamedPresence();
    history.presence.pruneOlderThan(HistoryFiles::retentionDays, now, calendar);
    const std::string today = NamedPresence::dayKey(now, calendar);
    for (auto& [name, days] : history.presence.days) days.erase(days.upper_bound(today), days.end());
    std::erase_if(history.presence.days, [](const auto& entry) { return entry.second.empty(); });
    return history;
}

}  // namespace

int runActivityPage(const Command& command, std::span<const std::string_view> args) {
    ParsedArgs parsed;
    int status = 0;
    const std::string_view valueOptions[] = {"--historyPath", "--at", "--range", "--aroundNow", "-usualOverride",
                                             "--usualOverride"};
    if (!parseArgs(command, args, valueOptions, parsed, status)) return status;
    if (!parsed.positional.empty())
        return usageError(command, "unexpected argument '" + std::string(parsed.positional.front()) + "'");

    std::optional<std::string_view> folder;
    Instant now = std::chrono::time_point_cast<Instant::duration>(std::chrono::system_clock::now());
    ActivityRange range = ActivityRange::today;
    int aroundNow = 0;
    QStringList launchArguments;
    for (const auto& [name, value] : parsed.options) {
        if (name == "--historyPath") {
            folder = value;
        } else if (name == "--at") {
            const auto at = parseISO8601(value);
            if (!at) return usageError(command, "--at needs an ISO 8601 time, not '" + printableText(value) + "'");
            now = *at;
        } else if (name == "--range") {
            if (value != rangeName(ActivityRange::today) && value != rangeName(ActivityRange::month))
                return usageError(command, "--range is today or month, not '" + printableText(value) + "'");
            range = value == rangeName(ActivityRange::today) ? ActivityRange::today : ActivityRange::month;
        } else if (name == "--aroundNow") {
            const auto count = parseCount(value);
            if (!count) return usageError(command, "--aroundNow needs a whole number, 0 or more");
            aroundNow = *count;
        } else {
            // Read as the window reads the setting.
            launchArguments << QStringLiteral("-usualOverride") << QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
        }
    }
    if (!folder) return usageError(command, "activity-page needs --historyPath DIR");

    std::error_code error;
    const std::filesystem::path path{std::string(*folder)};
    if (std::filesystem::exists(path, error) && !std::filesystem::is_directory(path, error)) {
        std::cerr << "quillmote-cli: " << printableText(*folder) << ": Not a folder\n";
        return exitFailure;
    }

    const Calendar calendar = Calendar::current();
    const HistoryFiles files(path);
    const History history = loadHistory(files, now, calendar);
    const std::optional<Baseline> baseline(std::in_place, history.minutes, now, calendar);
    const LaunchSettings settings(launchArguments);
    const ActivityPageInput input{history.minutes, baseline, history.surges, history.presence, aroundNow,
                                  TestSettings::fromLaunchArguments(settings).usualOverride, range, now};
    std::cout << dump(pageJson(buildActivityPage(input, calendar))) << std::flush;
    return std::cout ? 0 : exitFailure;
}

}  // namespace quillmote::cli
