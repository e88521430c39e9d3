#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/find/trend.h"
#include "core/table/device_table.h"
#include "core/table/fingerprint.h"

namespace quillmote {

namespace ClickRate {
inline constexpr double slowest = 0.5;   // clicks per second
inline constexpr double fastest = 20.0;
// 0.5 clicks a second at −95 dBm and weaker, up to 20 at −40 dBm and stronger.
double perSecond(double rssi);
}  // namespace ClickRate

// "Find this device": follows one row by its signal, and when it falls quiet looks
// for a new row with the same fingerprint (a rotated address) to move to.
class FindSession {
public:
    static constexpr double quietAfter = 3.0;   // seconds
    static constexpr double lostAfter = 15.0;   // seconds
    static constexpr double matchWithin = 10.0; // dB

    struct Status {
        enum class Kind { searching, tracking, lost, reacquired, ambiguous };
        Kind kind = Kind::tracking;
        std::string previousKey;              // reacquired
        std::vector<std::string> candidates;  // ambiguous, ascending

        static Status reacquired(std::string previousKey) { return {Kind::reacquired, std::move(previousKey), {}}; }
        static Status ambiguous(std::vector<std::string> keys) { return {Kind::ambiguous, {}, std::move(keys)}; }
        friend bool operator==(const Status&, const Status&) = default;
    };

    explicit FindSession(const DeviceRecord& target);

    // Once per tick, after the table took the tick's sightings.
    void update(const DeviceTable& table, Instant now);
    // The user picked a row to follow.
    void choose(const DeviceRecord& record);
    // Moves the stored instants, after the wall clock was set.
    void shiftTimes(Instant::duration by) {
        lastHeard_ += by;
        trendTracker_.shiftTimes(by);
    }

    bool isHearingTarget() const;
    double clicksPerSecond() const;

    const std::string& targetKey() const { return targetKey_; }
    const Fingerprint& fingerprint() const { return fingerprint_; }
    const Status& status() const { return status_; }
    std::optional<double> rssi() const { return rssi_; }
    Instant lastHeard() const { return lastHeard_; }
    TrendDirection trend() const { return trend_; }

private:
    std::string targetKey_;
    Fingerprint fingerprint_;
    Status status_;
    std::optional<double> rssi_;
    Instant lastHeard_;
    TrendDirection trend_ = TrendDirection::steady;
    TrendTracker trendTracker_;

    std::vector<const DeviceRecord*> rotationCandidates(const DeviceTable& table, Instant now) const;
};

// "searching", "tracking", "lost", "reacquired", "ambiguous"
std::string_view name(FindSession::Status::Kind kind);

}  // namespace quillmote
