#include "core/time/calendar.h"

#include <cmath>
#include <cstdlib>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace quillmote {

namespace {

using Millis = std::chrono::milliseconds;

// Every instant the type can hold is well inside ICU's range, but not the other way
// round: results are checked before they become instants again.
constexpr double maxMillis = 9.0e15;

UDate toUDate(Instant t) {
    return static_cast<UDate>(std::chrono::floor<Millis>(t).time_since_epoch().count());
}

std::optional<Instant> fromUDate(UDate ms) {
    if (!std::isfinite(ms) || std::fabs(ms) > maxMillis) return std::nullopt;
    return Instant(Millis(std::llround(ms)));
}

// The part of `t` finer than ICU's milliseconds, carried over by calendar addition.
Instant::duration belowMillis(Instant t) { return t - std::chrono::floor<Millis>(t); }

std::string toUTF8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

}  // namespace

Calendar::Calendar(const std::string& timeZone, const std::string& locale) : timeZone_(timeZone), locale_(locale) {
    UErrorCode status = U_ZERO_ERROR;
    calendar_.reset(icu::Calendar::createInstance(
        icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZone)), icu::Locale(locale.c_str()), status));
    if (U_FAILURE(status)) calendar_.reset();
}

// The locale dates and times are written in, as POSIX chooses it: LC_ALL, then
// LC_TIME, then LANG. ICU's own default follows LC_MESSAGES instead.
static icu::Locale timeLocale() {
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        std::string id(value);
        id = id.substr(0, id.find_first_of(".@"));  // "de_DE.UTF-8@euro" is "de_DE" to ICU
        if (id == "C" || id == "POSIX") return icu::Locale("en_US_POSIX");
        icu::Locale locale(id.c_str());
        if (!locale.isBogus()) return locale;
    }
    return icu::Locale::getDefault();
}

Calendar Calendar::current() {
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
    icu::UnicodeString id;
    if (zone) zone->getID(id);
    const icu::Locale locale = timeLocale();
    Calendar calendar(toUTF8(id), locale.getName());
    // Built from the default zone itself, in case its id does not name a zone again.
    if (zone) {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Calendar> own(icu::Calendar::createInstance(zone.release(), locale, status));
        if (U_SUCCESS(status) && own) calendar.calendar_ = std::move(own);
    }
    return calendar;
}

Calendar::Calendar(const Calendar& other)
    : timeZone_(other.timeZone_),
      locale_(other.locale_),
      calendar_(other.calendar_ ? other.calendar_->clone() : nullptr) {}

Calendar& Calendar::operator=(const Calendar& other) {
    if (this != &other) {
        timeZone_ = other.timeZone_;
        locale_ = other.locale_;
        calendar_.reset(other.calendar_ ? other.calendar_->clone() : nullptr);
        formats_.clear();  // they were for the old locale
    }
    return *this;
}

Calendar::~Calendar() = default;

icu::Calendar& Calendar::at(Instant t) const {
    UErrorCode status = U_ZERO_ERROR;
    calendar_->setTime(toUDate(t), status);
    return *calendar_;
}

namespace {

// Sets the given fields of `t` to zero and resolves them, reading a wall time that
// occurs twice (clocks turned back) first as the occurrence given by `preferred`,
// then as the other one; the answer must not lie after `t`. A day begins at its
// first midnight; an hour is the latest start not after `t`. A skipped wall time
// resolves to the moment the clocks jumped, which is when that day or hour began.
std::optional<Instant> truncate(icu::Calendar& calendar, Instant t, UCalendarWallTimeOption preferred,
                                std::initializer_list<UCalendarDateFields> fields) {
    UCalendarWallTimeOption other = preferred == UCAL_WALLTIME_FIRST ? UCAL_WALLTIME_LAST : UCAL_WALLTIME_FIRST;
    UCalendarWallTimeOption original = calendar.getRepeatedWallTimeOption();
    std::optional<Instant> result;
    for (UCalendarWallTimeOption repeated : {preferred, other}) {
        UErrorCode status = U_ZERO_ERROR;
        calendar.setRepeatedWallTimeOption(repeated);
        calendar.setTime(toUDate(t), status);
        for (auto field : fields) calendar.set(field, 0);
        UDate start = calendar.getTime(status);
        if (U_FAILURE(status)) break;
        result = fromUDate(start);
        if (result && *result <= t) break;
        result.reset();
    }
    calendar.setRepeatedWallTimeOption(original);
    return result;
}

std::optional<Instant> adding(icu::Calendar& calendar, Instant t, UCalendarDateFields field, int amount) {
    UErrorCode status = U_ZERO_ERROR;
    calendar.setTime(toUDate(t), status);
    calendar.add(field, amount, status);
    UDate result = calendar.getTime(status);
    if (U_FAILURE(status)) return std::nullopt;
    auto instant = fromUDate(result);
    if (!instant) return std::nullopt;
    return *instant + belowMillis(t);
}

int field(icu::Calendar& calendar, UCalendarDateFields which, int fallback) {
    UErrorCode status = U_ZERO_ERROR;
    int value = calendar.get(which, status);
    return U_SUCCESS(status) ? value : fallback;
}

}  // namespace

std::optional<Instant> Calendar::startOfDay(Instant t) const {
    if (!calendar_) return std::nullopt;
    return truncate(*calendar_, t, UCAL_WALLTIME_FIRST, {UCAL_HOUR_OF_DAY, UCAL_MINUTE, UCAL_SECOND, UCAL_MILLISECOND});
}

std::optional<Instant> Calendar::startOfHour(Instant t) const {
    if (!calendar_) return std::nullopt;
    return truncate(*calendar_, t, UCAL_WALLTIME_LAST, {UCAL_MINUTE, UCAL_SECOND, UCAL_MILLISECOND});
}

std::optional<Instant> Calendar::addingDays(Instant t, int days) const {
    if (!calendar_) return std::nullopt;
    return adding(*calendar_, t, UCAL_DATE, days);
}

std::optional<Instant> Calendar::addingHours(Instant t, int hours) const {
    if (!calendar_) return std::nullopt;
    return adding(*calendar_, t, UCAL_HOUR_OF_DAY, hours);
}

int Calendar::weekday(Instant t) const {
    if (!calendar_) return 1;
    return field(at(t), UCAL_DAY_OF_WEEK, 1);
}

int Calendar::hour(Instant t) const {
    if (!calendar_) return 0;
    return field(at(t), UCAL_HOUR_OF_DAY, 0);
}

Calendar::Date Calendar::date(Instant t) const {
    if (!calendar_) return {};
    auto& calendar = at(t);
    UErrorCode status = U_ZERO_ERROR;
    // The extended year keeps years before the era's start distinct and ordered.
    Date date{calendar.get(UCAL_EXTENDED_YEAR, status), calendar.get(UCAL_MONTH, status) + 1,
              calendar.get(UCAL_DATE, status)};
    if (U_FAILURE(status)) return {};
    return date;
}

bool Calendar::isWeekend(Instant t) const {
    if (!calendar_) return false;
    UErrorCode status = U_ZERO_ERROR;
    bool weekend = calendar_->isWeekend(toUDate(t), status);
    return U_SUCCESS(status) && weekend;
}

std::string Calendar::weekdayName(Instant t) const {
    if (!calendar_) return {};
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat format(icu::UnicodeString(u"EEEE"), icu::Locale(locale_.c_str()), status);
    if (U_FAILURE(status)) return {};
    format.setCalendar(*calendar_);
    icu::UnicodeString name;
    format.format(toUDate(t), name);
    return toUTF8(name);
}

// The short time style has no skeleton of its own: it is kept under this key.
constexpr std::string_view shortTimeKey = "\x01short";

std::string Calendar::format(Instant t, std::string_view key) const {
    if (!calendar_) return {};
    auto found = formats_.find(key);
    if (found == formats_.end()) {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Locale locale(locale_.c_str());
        std::unique_ptr<icu::SimpleDateFormat> format;
        if (key == shortTimeKey) {
            format.reset(dynamic_cast<icu::SimpleDateFormat*>(
                icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, locale)));
        } else {
            std::unique_ptr<icu::DateTimePatternGenerator> generator(
                icu::DateTimePatternGenerator::createInstance(locale, status));
            if (U_FAILURE(status)) return {};
            const icu::UnicodeString pattern =
                generator->getBestPattern(icu::UnicodeString::fromUTF8(icu::StringPiece(key.data(),
                                                                                          static_cast<int32_t>(key.size()))),
                                          status);
            format = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
        }
        if (U_FAILURE(status) || !format) return {};
        found = formats_.emplace(std::string(key), std::move(format)).first;
    }
    found->second->setCalendar(*calendar_);
    icu::UnicodeString text;
    found->second->format(toUDate(t), text);
    return toUTF8(text);
}

// "j" is the locale's own hour field: with a day-period marker where it uses one.
std::string Calendar::hourName(Instant t) const { return format(t, "j"); }

std::string Calendar::shortTime(Instant t) const { return format(t, shortTimeKey); }

std::string Calendar::formatted(Instant t, std::string_view skeleton) const {
    // A skeleton is plain pattern letters; the private key of the short style is not one.
    if (skeleton == shortTimeKey) return {};
    return format(t, skeleton);
}

}  // namespace quillmote
