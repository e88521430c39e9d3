#pragma once

#include <optional>
#include <string>

#include "core/activity/baseline.h"

namespace quillmote {

// The usual level as the interface shows it: a level (with its basis, absent when a
// setting forces the level) or still learning with the days so far.
struct Normal {
    std::optional<double> usual;
    std::optional<Baseline::Basis> basis;
    int learningDays = 0;

    friend bool operator==(const Normal&, const Normal&) = default;
};

// A forced level wins everywhere; without a baseline nothing is known yet.
Normal normalAt(const std::optional<Baseline>& baseline, std::optional<double> usualOverride, Instant at);

// The level the charts and the surge detector compare against: the forced one, else
// the known level at `at`, else none.
std::optional<double> usualLevel(const std::optional<Baseline>& baseline, std::optional<double> usualOverride,
                                 Instant at);

// "Mondays", "weekdays", "weekends, nearby hours"; nothing without a basis.
std::optional<std::string> basisLabel(std::optional<Baseline::Basis> basis, Instant at, const Calendar& calendar);

}  // namespace quillmote
