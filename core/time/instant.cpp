#include "core/time/instant.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quillmote {

namespace {

// Reads exactly `count` decimal digits at `pos`, advancing it.
std::optional<int> digits(std::string_view text, std::size_t& pos, std::size_t count) {
    if (pos + count > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        char c = text[pos + i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return value;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

double secondsBetween(Instant from, Instant to) {
    return std::chrono::duration<double>(to - from).count();
}

Instant::duration durationOf(double seconds) {
    constexpr double limit = 9.0e18;  // ticks; inside int64 with room to add an instant
    double ticks = seconds * 1e6;
    if (std::isnan(ticks)) return Instant::duration::zero();
    ticks = std::clamp(ticks, -limit, limit);
    return Instant::duration(std::llround(ticks));
}

Instant addingSeconds(Instant instant, double seconds) { return instant + durationOf(seconds); }

std::string formatISO8601(Instant instant) {
    using namespace std::chrono;
    auto millis = floor<milliseconds>(instant);
    auto day = floor<days>(millis);
    year_month_day date{day};
    hh_mm_ss time{millis - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02lld.%03lldZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                  int(time.minutes().count()), static_cast<long long>(time.seconds().count()),
                  static_cast<long long>(time.subseconds().count()));
    return text;
}

std::optional<Instant> parseISO8601(std::string_view text) {
    using namespace std::chrono;
    std::size_t pos = 0;
    auto y = digits(text, pos, 4);
    if (!y || !expect(text, pos, '-')) return std::nullopt;
    auto mo = digits(text, pos, 2);
    if (!mo || !expect(text, pos, '-')) return std::nullopt;
    auto d = digits(text, pos, 2);
    if (!d || !expect(text, pos, 'T')) return std::nullopt;
    auto h = digits(text, pos, 2);
    if (!h || !expect(text, pos, ':')) return std::nullopt;
    auto mi = digits(text, pos, 2);
    if (!mi || !expect(text, pos, ':')) return std::nullopt;
    auto s = digits(text, pos, 2);
    if (!s) return std::nullopt;

    microseconds fraction{0};
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        long long value = 0;
        int count = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (count < 6) {
                value = value * 10 + (text[pos] - '0');
                ++count;
            }
            ++pos;
        }
        if (count == 0) return std::nullopt;
        for (int i = count; i < 6; ++i) value *= 10;
        fraction = microseconds(value);
    }

    minutes offset{0};
    if (expect(text, pos, 'Z')) {
    } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        int sign = text[pos] == '-' ? -1 : 1;
        ++pos;
        auto oh = digits(text, pos, 2);
        if (!oh || !expect(text, pos, ':')) return std::nullopt;
        auto om = digits(text, pos, 2);
        if (!om || *oh > 23 || *om > 59) return std::nullopt;
        offset = minutes(sign * (*oh * 60 + *om));
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;

    year_month_day date{year(*y), month(unsigned(*mo)), day(unsigned(*d))};
    if (!date.ok() || *h > 23 || *mi > 59 || *s > 59) return std::nullopt;
    return sys_days(date) + hours(*h) + minutes(*mi) + seconds(*s) + fraction - offset;
}

}  // namespace quillmote
