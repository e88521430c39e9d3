#include "core/time/elapsed_text.h"

#include <array>
#include <cmath>
#include <vector>
#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>

namespace quillmote {

namespace {

struct Unit {
    long long seconds;
    icu::MeasureUnit* (*create)(UErrorCode&);
};

constexpr std::array<Unit, 4> units{{
    {86400, icu::MeasureUnit::createDay},
    {3600, icu::MeasureUnit::createHour},
    {60, icu::MeasureUnit::createMinute},
    {1, icu::MeasureUnit::createSecond},
}};

// Far beyond any run; keeps the count inside a long long.
constexpr double longest = 1.0e12;

}  // namespace

std::string elapsedText(double seconds, const std::string& locale) {
    const long long whole =
        std::isfinite(seconds) && seconds > 0 ? static_cast<long long>(std::floor(std::min(seconds, longest))) : 0;

    std::size_t first = units.size() - 1;
    for (std::size_t i = 0; i < units.size(); ++i)
        if (whole >= units[i].seconds) {
            first = i;
            break;
        }

    UErrorCode status = U_ZERO_ERROR;
    std::vector<icu::Measure> measures;  // each owns its unit
    measures.reserve(2);
    long long rest = whole;
    for (std::size_t i = first; i < units.size() && i < first + 2; ++i) {
        const long long amount = rest / units[i].seconds;
        rest %= units[i].seconds;
        if (i > first && amount == 0) break;
        measures.emplace_back(icu::Formattable(static_cast<int64_t>(amount)), units[i].create(status), status);
        if (U_FAILURE(status)) return std::to_string(whole) + " s";
    }

    icu::MeasureFormat format(icu::Locale(locale.c_str()), UMEASFMT_WIDTH_SHORT, status);
    icu::UnicodeString text;
    icu::FieldPosition position;
    format.formatMeasures(measures.data(), static_cast<int32_t>(measures.size()), text, position, status);
    if (U_FAILURE(status)) return std::to_string(whole) + " s";
    std::string out;
    text.toUTF8String(out);
    return out;
}

}  // namespace quillmote
