#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/activity/minute_record.h"
#include "core/activity/named_presence.h"
#include "core/activity/surge_event.h"

namespace quillmote {

// The activity history on disk: one minute file per UTC day, "surges.json" and
// "named-devices.json". Readers never fail: what cannot be read is skipped line by
// line or document by document. JSON documents are replaced atomically and durably;
// an append that fails leaves the file as it was.
class HistoryFiles {
public:
    static constexpr int retentionDays = 90;
    static constexpr std::string_view header = "minute_utc,observed_s,around,passing,arrived,left,moved";

    explicit HistoryFiles(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // ~/.local/share/Quillmote/history (the XDG data folder).
    static std::filesystem::path defaultFolder();

    const std::filesystem::path& folder() const { return folder_; }

    // Creates the day's file with its header when needed, then appends one line.
    std::error_code append(const MinuteRecord& record) const;
    // Records with from ≤ minute < to, in time order.
    std::vector<MinuteRecord> minutes(Instant from, Instant to) const;
    void pruneOlderThan(int days, Instant now) const;

    std::vector<SurgeEvent> loadSurges() const;
    std::error_code saveSurges(const std::vector<SurgeEvent>& surges) const;
    NamedPresence loadNamedPresence() const;
    std::error_code saveNamedPresence(const NamedPresence& presence) const;
    // Renames each document that is there but cannot be read to NAME.unreadable, so that
    // the next save does not destroy what someone may still want back. One line per
    // such document, naming it and saying where it went.
    std::vector<std::string> setAsideUnreadable() const;

    // What the loaders make of a document's text; nothing when it cannot be read.
    static std::optional<std::vector<SurgeEvent>> surgesFrom(std::string_view text);
    static std::optional<NamedPresence> namedPresenceFrom(std::string_view text);
    // The data lines of a minute file that parse, in file order.
    static std::vector<MinuteRecord> minuteFileRecords(std::string_view text);

    // One episode as the episodes document stores it, on one line; nothing when a
    // level is not a finite number.
    static std::optional<std::string> surgeText(const SurgeEvent& surge);
    // One data line, without its line feed.
    static std::string line(const MinuteRecord& record);
    // A data line read back; nothing unless every field parses.
    static std::optional<MinuteRecord> record(std::string_view line);
    // minutes-yyyy-MM-dd.csv of the UTC day of `t`.
    std::filesystem::path dayFile(Instant t) const;

private:
    std::filesystem::path folder_;
};

}  // namespace quillmote
