#include "core/activity/history_files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <nlohmann/json.hpp>

namespace quillmote {

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

constexpr std::string_view minutesPrefix = "minutes-";
constexpr const char* surgesName = "surges.json";
constexpr const char* namedName = "named-devices.json";

std::error_code lastError() { return {errno, std::generic_category()}; }

// ---- days ------------------------------------------------------------------

std::string dayText(std::chrono::sys_days day) {
    const std::chrono::year_month_day date{day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", int(date.year()), unsigned(date.month()),
                  unsigned(date.day()));
    return text;
}

// Exactly yyyy-MM-dd naming a real date.
std::optional<std::chrono::sys_days> parseDay(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    auto number = [&](std::size_t from, std::size_t count) -> std::optional<int> {
        int value = 0;
        for (std::size_t i = from; i < from + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return std::nullopt;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    auto y = number(0, 4), m = number(5, 2), d = number(8, 2);
    if (!y || !m || !d) return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(*y), std::chrono::month(unsigned(*m)),
                                           std::chrono::day(unsigned(*d))};
    if (!date.ok()) return std::nullopt;
    return std::chrono::sys_days(date);
}

// The day named by a minute file, or nothing for any other entry.
std::optional<std::chrono::sys_days> dayOfMinuteFile(const fs::path& entry) {
    const std::string stem = entry.stem().string();
    if (!stem.starts_with(minutesPrefix)) return std::nullopt;
    return parseDay(std::string_view(stem).substr(minutesPrefix.size()));
}

// ---- files -----------------------------------------------------------------

// Far more than the program ever writes (a day of minutes is under 100 KB, the
// documents hold 500 episodes and 90 days of names): a file past this is not ours,
// and reading it whole could exhaust a small machine's memory.
constexpr off_t largestFile = off_t(64) << 20;

// The whole content of a regular file of a sane size. Opened without blocking so that
// a pipe or device under a history name cannot hang the reader.
std::optional<std::string> readWhole(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    std::optional<std::string> text;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= largestFile) {
        text.emplace();
        char buffer[65536];
        for (;;) {
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) {
                text.reset();
                break;
            }
            if (count == 0) break;
            text->append(buffer, static_cast<std::size_t>(count));
        }
    }
    ::close(fd);
    return text;
}

std::error_code writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

// Writes `bytes` to a temporary file beside `target` and renames it over the target,
// so readers see the old content or the new, never a part of either.
std::error_code replaceAtomically(const fs::path& target, std::string_view bytes) {
    // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about "." + string.
    std::string hidden = ".";
    hidden += target.filename().string();
    hidden += ".XXXXXX";
    std::string pattern = (target.parent_path() / hidden).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return lastError();
    std::error_code error = writeAll(fd, bytes);
    if (!error && ::fsync(fd) != 0) error = lastError();
    if (::close(fd) != 0 && !error) error = lastError();
    if (!error && ::rename(pattern.c_str(), target.c_str()) != 0) error = lastError();
    if (error) {
        ::unlink(pattern.c_str());
        return error;
    }
    // The rename itself lives in the folder: without this a power cut can bring back
    // the old document, or none, after the new one was reported saved.
    const int folder = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return {};
}

// A temporary left by a replacement that never finished: ".surges.json.Ab12Cd".
bool isLeftoverTemporary(const fs::path& entry) {
    const std::string name = entry.filename().string();
    for (std::string_view target : {surgesName, namedName, "minutes-"})
        if (name.size() > target.size() + 2 && name.starts_with('.') && name.compare(1, target.size(), target) == 0)
            return true;
    return false;
}

// ---- numbers ---------------------------------------------------------------

// An optional sign, then digits only, within the 64-bit range.
std::optional<std::int64_t> parseInteger(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '+' || negative)) text.remove_prefix(1);
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    // Parsed as unsigned so that the most negative value has room.
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    constexpr auto largest = std::uint64_t(std::numeric_limits<std::int64_t>::max());
    if (magnitude > largest + (negative ? 1 : 0)) return std::nullopt;
    if (!negative) return std::int64_t(magnitude);
    return magnitude == largest + 1 ? std::numeric_limits<std::int64_t>::min() : -std::int64_t(magnitude);
}

// The whole text as a finite real number. Not-a-number or infinity would poison
// every average taken from the history, so they count as unreadable.
std::optional<double> parseReal(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// ---- JSON ------------------------------------------------------------------

// Thrown for a value that cannot be written or read back; the document fails as a whole.
struct BadValue {};

// ISO 8601 in UTC with whole seconds. Only years the reader accepts are written, so
// a saved document always loads again.
std::string isoText(Instant t) {
    using namespace std::chrono;
    const auto whole = floor<seconds>(t);
    const auto day = floor<days>(whole);
    if (day < sys_days(year(0) / 1 / 1) || day > sys_days(year(9999) / 12 / 31)) throw BadValue{};
    const year_month_day date{day};
    const hh_mm_ss time{whole - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()), unsigned(date.month()),
                  unsigned(date.day()), int(time.hours().count()), int(time.minutes().count()),
                  int(time.seconds().count()));
    return text;
}

// JSON has no spelling for these; a document holding one could never be read back.
double finite(double value) {
    if (!std::isfinite(value)) throw BadValue{};
    return value;
}

Instant instantFrom(const json& value) {
    auto parsed = parseISO8601(value.get_ref<const std::string&>());
    if (!parsed) throw BadValue{};
    return *parsed;
}

std::int64_t integerFrom(const json& value) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() &&
            value.get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
            throw BadValue{};
        return value.get<std::int64_t>();
    }
    throw BadValue{};
}

double realFrom(const json& value) {
    if (!value.is_number()) throw BadValue{};
    return value.get<double>();
}

SurgeEvent surgeFrom(const json& object) {
    SurgeEvent surge;
    auto id = Uuid::fromText(object.at("id").get_ref<const std::string&>());
    if (!id) throw BadValue{};
    surge.id = *id;
    surge.started = instantFrom(object.at("started"));
    if (auto ended = object.find("ended"); ended != object.end() && !ended->is_null())
        surge.ended = instantFrom(*ended);
    surge.usualAround = realFrom(object.at("usualAround"));
    surge.aroundAtStart = realFrom(object.at("aroundAtStart"));
    surge.peakAround = realFrom(object.at("peakAround"));
    for (const auto& name : object.at("namedDevices").get_ref<const json::array_t&>())
        surge.namedDevices.push_back(name.get_ref<const std::string&>());
    return surge;
}

json surgeJSON(const SurgeEvent& surge) {
    json object = json::object();
    object["id"] = surge.id.text();
    object["started"] = isoText(surge.started);
    if (surge.ended) object["ended"] = isoText(*surge.ended);
    object["usualAround"] = finite(surge.usualAround);
    object["aroundAtStart"] = finite(surge.aroundAtStart);
    object["peakAround"] = finite(surge.peakAround);
    object["namedDevices"] = surge.namedDevices;
    return object;
}

std::error_code saveDocument(const fs::path& folder, const char* name, const json& document) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) return error;
    std::string bytes;
    try {
        // A name that is not valid UTF-8 is stored with replacement characters
        // rather than making every later save fail.
        bytes = document.dump(2, ' ', false, json::error_handler_t::replace);
    } catch (const std::exception&) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    bytes.push_back('\n');
    return replaceAtomically(folder / name, bytes);
}

}  // namespace

// ---- folder ----------------------------------------------------------------

fs::path HistoryFiles::defaultFolder() {
    fs::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && fs::path(xdg).is_absolute()) {
        data = xdg;
    } else {
        fs::path home;
        if (const char* env = std::getenv("HOME"); env && *env) {
            home = env;
        } else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) {
            home = user->pw_dir;
        }
        data = home / ".local" / "share";
    }
    return data / "Quillmote" / "history";
}

fs::path HistoryFiles::dayFile(Instant t) const {
    const auto day = std::chrono::floor<std::chrono::days>(t);
    return folder_ / (std::string(minutesPrefix) + dayText(day) + ".csv");
}

// ---- minute files ----------------------------------------------------------

std::string HistoryFiles::line(const MinuteRecord& record) {
    // Locale-independent: a decimal comma would split the field in two.
    char around[512];
    const auto written = std::to_chars(std::begin(around), std::end(around), record.around,
                                       std::chars_format::fixed, 2);
    const std::string_view aroundText(around, static_cast<std::size_t>(written.ptr - around));
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(record.minute.time_since_epoch()).count();

    std::string out;
    out += std::to_string(seconds);
    out += ',';
    out += std::to_string(record.observedSeconds);
    out += ',';
    out += aroundText;
    for (std::int64_t value : {record.passing, record.arrived, record.left, record.moved}) {
        out += ',';
        out += std::to_string(value);
    }
    return out;
}

std::optional<MinuteRecord> HistoryFiles::record(std::string_view text) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        if (comma > start) {
            if (pieces.size() == 7) return std::nullopt;
            pieces.push_back(text.substr(start, comma - start));
        }
        start = comma + 1;
    }
    if (pieces.size() != 7) return std::nullopt;

    const auto minute = parseReal(pieces[0]);
    const auto observed = parseInteger(pieces[1]);
    const auto around = parseReal(pieces[2]);
    const auto passing = parseInteger(pieces[3]);
    const auto arrived = parseInteger(pieces[4]);
    const auto left = parseInteger(pieces[5]);
    const auto moved = parseInteger(pieces[6]);
    if (!minute || !observed || !around || !passing || !arrived || !left || !moved) return std::nullopt;
    return MinuteRecord{Instant(durationOf(*minute)), *observed, *around, *passing, *arrived, *left, *moved};
}

std::vector<MinuteRecord> HistoryFiles::minuteFileRecords(std::string_view text) {
    std::vector<MinuteRecord> records;
    bool first = true;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view piece = text.substr(start, end - start);
        start = end + 1;
        if (piece.empty()) continue;
        if (first) {  // the header, whatever it holds
            first = false;
            continue;
        }
        // Files edited elsewhere may end their lines in CR LF.
        if (piece.back() == '\r') piece.remove_suffix(1);
        if (auto parsed = record(piece)) records.push_back(*parsed);
    }
    return records;
}

std::error_code HistoryFiles::append(const MinuteRecord& record) const {
    std::error_code error;
    fs::create_directories(folder_, error);
    if (error) return error;

    const fs::path file = dayFile(record.minute);
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0) {
        if (errno != ENOENT) return lastError();
        std::string header(HistoryFiles::header);
        header.push_back('\n');
        if (auto failed = replaceAtomically(file, header)) return failed;
    }

    const int fd = ::open(file.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (fd < 0) return lastError();

    // One write per line, so a crash loses at most the line being written. A file
    // left without its header, or ending in a line cut short, is mended in the
    // same write so that neither costs this record.
    std::string bytes;
    if (::fstat(fd, &info) != 0) {
        error = lastError();
        ::close(fd);
        return error;
    }
    if (info.st_size == 0) {
        bytes += HistoryFiles::header;
        bytes += '\n';
    } else {
        char last = '\n';
        if (::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n') bytes += '\n';
    }
    bytes += line(record);
    bytes += '\n';
    error = writeAll(fd, bytes);
    // A full disk can take part of the line: take it back, so the file ends where it did.
    if (error) (void)::ftruncate(fd, info.st_size);
    ::close(fd);
    return error;
}

std::vector<MinuteRecord> HistoryFiles::minutes(Instant from, Instant to) const {
    using namespace std::chrono;
    // The day files present, rather than every day of the range, so that no range,
    // however wide, costs more than the folder holds.
    const sys_days firstDay = floor<days>(from);
    std::vector<std::pair<sys_days, fs::path>> files;
    std::error_code error;
    for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
        const fs::path& entry = it->path();
        const auto day = dayOfMinuteFile(entry);
        if (!day || entry.filename() != dayFile(*day).filename()) continue;
        if (*day < firstDay || Instant(*day) >= to) continue;
        files.emplace_back(*day, entry);
    }
    std::sort(files.begin(), files.end());

    std::vector<MinuteRecord> records;
    for (const auto& [day, file] : files) {
        const auto text = readWhole(file);
        if (!text) continue;
        for (const MinuteRecord& parsed : minuteFileRecords(*text))
            if (from <= parsed.minute && parsed.minute < to) records.push_back(parsed);
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const MinuteRecord& a, const MinuteRecord& b) { return a.minute < b.minute; });
    return records;
}

void HistoryFiles::pruneOlderThan(int days, Instant now) const {
    const std::chrono::sys_days cutoff = std::chrono::floor<std::chrono::days>(now) - std::chrono::days(days);
    std::error_code error;
    std::vector<fs::path> doomed;
    // Temporaries are left alone for a while: another process may be about to rename one.
    const auto settled = fs::file_time_type::clock::now() - std::chrono::minutes(10);
    for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
        const auto day = dayOfMinuteFile(it->path());
        std::error_code ignored;
        if ((day && *day < cutoff) || (isLeftoverTemporary(it->path()) && it->last_write_time(ignored) < settled))
            doomed.push_back(it->path());
    }
    for (const auto& path : doomed) fs::remove(path, error);
}

// ---- JSON documents ----------------------------------------------------------

std::vector<SurgeEvent> HistoryFiles::loadSurges() const {
    const auto text = readWhole(folder_ / surgesName);
    auto surges = text ? surgesFrom(*text) : std::nullopt;
    return surges ? std::move(*surges) : std::vector<SurgeEvent>{};
}

std::optional<std::vector<SurgeEvent>> HistoryFiles::surgesFrom(std::string_view text) {
    try {
        const json document = json::parse(text, nullptr, false);
        std::vector<SurgeEvent> surges;
        for (const auto& item : document.get_ref<const json::array_t&>()) surges.push_back(surgeFrom(item));
        return surges;
    } catch (...) {
        return std::nullopt;
    }
}

std::error_code HistoryFiles::saveSurges(const std::vector<SurgeEvent>& surges) const {
    json document = json::array();
    try {
        for (const auto& surge : surges) document.push_back(surgeJSON(surge));
    } catch (...) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    return saveDocument(folder_, surgesName, document);
}

NamedPresence HistoryFiles::loadNamedPresence() const {
    const auto text = readWhole(folder_ / namedName);
    auto presence = text ? namedPresenceFrom(*text) : std::nullopt;
    return presence ? std::move(*presence) : NamedPresence{};
}

std::optional<NamedPresence> HistoryFiles::namedPresenceFrom(std::string_view text) {
    try {
        const json document = json::parse(text, nullptr, false);
        NamedPresence presence;
        for (const auto& [name, days] : document.at("days").get_ref<const json::object_t&>()) {
            auto& named = presence.days[name];
            for (const auto& [key, day] : days.get_ref<const json::object_t&>())
                named[key] = NamedPresence::Day{instantFrom(day.at("firstHeard")), integerFrom(day.at("seconds"))};
        }
        return presence;
    } catch (...) {
        return std::nullopt;
    }
}

std::error_code HistoryFiles::saveNamedPresence(const NamedPresence& presence) const {
    json document = json::object();
    try {
        json names = json::object();
        for (const auto& [name, days] : presence.days) {
            json entries = json::object();
            for (const auto& [key, day] : days)
                entries[key] = json{{"firstHeard", isoText(day.firstHeard)}, {"seconds", day.seconds}};
            names[name] = std::move(entries);
        }
        document["days"] = std::move(names);
    } catch (...) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    return saveDocument(folder_, namedName, document);
}

std::optional<std::string> HistoryFiles::surgeText(const SurgeEvent& surge) {
    try {
        return surgeJSON(surge).dump(-1, ' ', false, json::error_handler_t::replace);
    } catch (...) {
        return std::nullopt;
    }
}

std::vector<std::string> HistoryFiles::setAsideUnreadable() const {
    std::vector<std::string> lines;
    const auto setAside = [&](const char* name, auto parse) {
        const fs::path path = folder_ / name;
        std::error_code error;
        if (fs::symlink_status(path, error).type() == fs::file_type::not_found) return;
        if (const auto text = readWhole(path); text && parse(*text)) return;
        fs::path aside = path;
        aside += ".unreadable";
        fs::rename(path, aside, error);
        lines.push_back(error ? path.string() + " cannot be read, nor set aside (" + error.message() +
                                    "); it will be replaced"
                              : path.string() + " cannot be read; kept as " + aside.filename().string() +
                                    " and started anew");
    };
    setAside(surgesName, [](std::string_view text) { return surgesFrom(text).has_value(); });
    setAside(namedName, [](std::string_view text) { return namedPresenceFrom(text).has_value(); });
    return lines;
}

}  // namespace quillmote
