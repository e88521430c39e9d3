#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/activity/minute_record.h"
#include "core/activity/surge_event.h"

namespace quillmote {

// Decides, once per closed minute, whether the crowd is unusually large: opens an
// episode when the window average is half again as large as usual and at least ten
// devices more, raises its peak, and closes it below a quarter above usual or when
// history stops for more than an hour.
class SurgeDetector {
public:
    static constexpr double riseFactor = 1.5;
    static constexpr double minimumRise = 10.0;
    static constexpr double endFactor = 1.25;
    static constexpr double maxGap = 3600.0;  // seconds

    struct Change {
        enum class Kind { started, updated, ended };
        Kind kind;
        SurgeEvent event;  // the episode after the change
        friend bool operator==(const Change&, const Change&) = default;
    };

    using UsualLevel = std::function<std::optional<double>(Instant minute)>;
    using NamedPresent = std::function<std::vector<std::string>()>;

    SurgeDetector(std::optional<SurgeEvent> open, int windowMinutes);

    std::optional<Change> evaluate(std::span<const MinuteRecord> minutes, const UsualLevel& usual, Instant now,
                                   const NamedPresent& namedPresent);

    const std::optional<SurgeEvent>& open() const { return open_; }
    int windowMinutes() const { return windowMinutes_; }

private:
    int windowMinutes_;
    std::optional<SurgeEvent> open_;

    std::optional<Change> end(Instant at);
};

}  // namespace quillmote
