#include "core/activity/normal.h"

namespace quillmote {

Normal normalAt(const std::optional<Baseline>& baseline, std::optional<double> usualOverride, Instant at) {
    if (usualOverride) return {usualOverride, std::nullopt, 0};
    if (!baseline) return {std::nullopt, std::nullopt, 0};
    const auto usual = baseline->usual(at);
    if (!usual.isKnown()) return {std::nullopt, std::nullopt, usual.daysSoFar};
    return {usual.level, usual.basis, 0};
}

std::optional<double> usualLevel(const std::optional<Baseline>& baseline, std::optional<double> usualOverride,
                                 Instant at) {
    if (usualOverride) return usualOverride;
    if (!baseline) return std::nullopt;
    return baseline->usual(at).level;
}

std::optional<std::string> basisLabel(std::optional<Baseline::Basis> basis, Instant at, const Calendar& calendar) {
    if (!basis) return std::nullopt;
    const std::string kindOfDay = calendar.isWeekend(at) ? "weekends" : "weekdays";
    switch (*basis) {
        case Baseline::Basis::sameWeekday: return calendar.weekdayName(at) + "s";
        case Baseline::Basis::sameKindOfDay: return kindOfDay;
        case Baseline::Basis::nearbyHours: return kindOfDay + ", nearby hours";
    }
    return std::nullopt;
}

}  // namespace quillmote
