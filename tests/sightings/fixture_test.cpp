#include "core/sightings/fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/sightings/capture_replay.h"
#include "core/sightings/printable_text.h"
#include "tests/support/temp_dir.h"

namespace quillmote {
namespace {

using namespace std::chrono;
using ::testing::HasSubstr;

Instant at(milliseconds ms) { return sys_days(2026y / March / 1) + 14h + ms; }

using Keys = std::vector<std::string>;

Sighting heard(std::string key, milliseconds offset) {
    return Sighting(SightingSource::lowEnergy, std::move(key), at(offset), -60);
}

Keys keys(const std::vector<Sighting>& sightings) {
    Keys out;
    for (const auto& s : sightings) out.push_back(s.deviceKey);
    return out;
}

Sighting richSighting() {
    Advertisement ad;
    ad.localName = "Jo's \"Buds\" \u00E9\u2192";
    ad.manufacturerData = Bytes{0x4C, 0x00, 0x07, 0x19};
    ad.serviceData = {{"FEAA", {0x10, 0x00}}, {"180F", {}}};
    ad.serviceUUIDs = {"FEAA", "0000FD6F-0000-1000-8000-00805F9B34FB"};
    ad.overflowServiceUUIDs = {"1234"};
    ad.solicitedServiceUUIDs = {"ABCD"};
    ad.txPower = -12;
    ad.isConnectable = true;
    ad.otherFields = {{"kCBAdvDataTimestamp", "794325.5"}};
    return Sighting(SightingSource::lowEnergy, "AA:BB:CC:DD:EE:01", at(250ms), -61, "Cached", ad, 0x240404, true, 80,
                    RangedBeacon::make(*Uuid::fromText("E2C56DB5-DFFB-48D2-B060-D0F5A71096E0"), 1, 2, 1.5));
}

Sighting bareSighting() { return Sighting(SightingSource::paired, "aa-bb-cc-dd-ee-ff", at(0ms), std::nullopt); }

template <typename Decode>
std::string errorOf(Decode decode) {
    try {
        decode();
    } catch (const FixtureError& error) {
        return error.what();
    }
    return "(decoded)";
}

// A capture of one sighting with `members` added; an empty advertisement unless they name one.
std::string oneSighting(std::string members) {
    if (members.find("\"advertisement\"") == std::string::npos)
        members += R"(, "advertisement": {"serviceData": {}, "serviceUUIDs": [], "overflowServiceUUIDs": [],
                      "solicitedServiceUUIDs": [], "otherFields": {}})";
    return R"([{"source": "LE", "deviceKey": "K", "time": "2026-03-01T14:05:09.250Z", )" + members + "}]";
}

TEST(Fixture, RoundTripsEveryFieldByteStablyAndLeavesOutWhatIsAbsent) {
    std::vector<Sighting> sightings{richSighting(), bareSighting()};
    std::string text = Fixture::encode(sightings);
    EXPECT_EQ(Fixture::decode(text), sightings);
    EXPECT_EQ(Fixture::encode(Fixture::decode(text)), text);

    EXPECT_THAT(text, HasSubstr(R"("manufacturerData": "4C 00 07 19")"));
    EXPECT_THAT(text, HasSubstr(R"("time": "2026-03-01T14:00:00.250Z")"));
    EXPECT_THAT(text, HasSubstr("\n  {\n    \"advertisement\": {\n"));  // pretty-printed

    // Absent optionals are left out; maps and lists are always written.
    text = Fixture::encode(std::vector{bareSighting()});
    EXPECT_THAT(text, ::testing::Not(HasSubstr("null")));
    EXPECT_THAT(text, ::testing::Not(HasSubstr("rssi")));
    EXPECT_THAT(text, HasSubstr(R"("serviceData": {},)"));
    EXPECT_EQ(Fixture::encode({}), "[]\n");
}

TEST(Fixture, ReadsLenientlyWhereTheFormatAllows) {
    auto decoded = Fixture::decode(oneSighting(
        R"("time": "2026-03-01T14:05:09Z", "rssi": 0, "cachedName": null, "unknownKey": [1, {"x": 2}],
           "advertisement": {"manufacturerData": "4c:00-0a ff", "serviceData": {"feaa": "10 0a"},
           "serviceUUIDs": [], "overflowServiceUUIDs": [], "solicitedServiceUUIDs": [], "otherFields": {}},
           "rangedBeacon": {"uuid": "e2c56db5-dffb-48d2-b060-d0f5a71096e0", "major": 1, "minor": 2, "metres": -1})"));
    ASSERT_EQ(decoded.size(), 1u);
    const auto& s = decoded[0];
    EXPECT_EQ(s.time, sys_days(2026y / March / 1) + 14h + 5min + 9s);  // later duplicate key wins
    EXPECT_EQ(s.rssi, 0);                                               // stored values are not re-judged
    EXPECT_FALSE(s.cachedName);
    EXPECT_EQ(s.advertisement.manufacturerData, (Bytes{0x4C, 0x00, 0x0A, 0xFF}));
    EXPECT_EQ(s.advertisement.serviceData.at("feaa"), (Bytes{0x10, 0x0A}));
    EXPECT_EQ(s.rangedBeacon->metres, -1.0);
}

TEST(Fixture, ErrorsNameTheSightingTheKeyAndTheReason) {
    const std::pair<std::string, std::string> cases[] = {
        {R"([{"source": "LE"}])", "sighting 1: missing key \"deviceKey\""},
        {R"([{"source": "XX"}])", "sighting 1, source: \"XX\" is neither \"LE\" nor \"PR\""},
        {oneSighting(R"("advertisement": {"serviceData": {"FEAA": "0"}})"),
         "sighting 1, advertisement.serviceData.FEAA: Not hex: 0"},
        {oneSighting(R"("advertisement": {"serviceData": {}})"),
         "sighting 1, advertisement: missing key \"serviceUUIDs\""},
        {oneSighting(R"("rssi": -50.5)"), "sighting 1, rssi: -50.5 is out of range"},
        {oneSighting(R"("classOfDevice": -1)"), "sighting 1, classOfDevice: -1 is out of range"},
        {oneSighting(R"("rangedBeacon": {"uuid": "e2c56db5-dffb-48d2-b060-d0f5a71096e0", "major": 65536})"),
         "sighting 1, rangedBeacon.major: 65536 is out of range"},
        {R"({"source": "LE"})", "not a capture: the top level is not a JSON array"},
        // Deep nesting inside one element stops at once, before it takes memory.
        {"[" + std::string(100000, '[') + std::string(100000, ']') + "]",
         "sighting 1: nested deeper than 16 levels"},
    };
    for (const auto& [text, error] : cases)
        EXPECT_EQ(errorOf([&] { Fixture::decode(text); }), error) << text.substr(0, 100);
    for (std::string broken : {"[] []", "[\"\xFF\"]"})
        EXPECT_THAT(errorOf([&] { Fixture::decode(broken); }), HasSubstr("not valid JSON")) << broken;
}

TEST(Fixture, ReadsFilesButNotFoldersAndWritesInvalidUTF8AsReplacementCharacters) {
    Sighting bad = bareSighting();
    bad.cachedName = std::string("Bad\xC3(name");
    test::TempDir dir;
    auto file = dir.write("capture.json", Fixture::encode(std::vector{bad}));
    EXPECT_THAT(test::readFile(file), HasSubstr("Bad\uFFFD(name"));
    EXPECT_EQ(Fixture::encode(Fixture::decodeFile(file)), test::readFile(file));

    EXPECT_EQ(errorOf([&] { Fixture::decodeFile(dir.path() / "missing.json"); }), "No such file or directory");
    EXPECT_EQ(errorOf([&] { Fixture::decodeFile(dir.path()); }), "it is a folder, not a file");
}

TEST(CaptureReplay, SortsStablyAndOffsetsFromTheFirstSighting) {
    CaptureReplay replay({heard("late", 59500ms), heard("a", 0ms), heard("b", 0ms), heard("mid", 1150ms)});
    EXPECT_EQ(keys(replay.sightings()), (Keys{"a", "b", "mid", "late"}));
    EXPECT_EQ(replay.offsets(), (std::vector<double>{0.0, 0.0, 1.15, 59.5}));
    EXPECT_DOUBLE_EQ(replay.loopLength(), 60.5);

    CaptureReplay empty({});
    EXPECT_EQ(empty.loopLength(), 1.0);
    EXPECT_TRUE(empty.sightings(-1, 100, at(0ms)).empty());
}

TEST(CaptureReplay, WindowsAreHalfOpenAndLoopWithRetiming) {
    CaptureReplay replay({heard("first", 0ms), heard("second", 2000ms)});  // loop 3 s
    const Instant start = sys_days(2027y / January / 1);

    auto w1 = replay.sightings(-1, 0.05, start);
    ASSERT_EQ(keys(w1), Keys{"first"});
    EXPECT_EQ(w1[0].time, start);
    auto w3 = replay.sightings(2.5, 3.05, start);
    ASSERT_EQ(keys(w3), Keys{"first"});
    EXPECT_EQ(w3[0].time, start + 3s);
    EXPECT_EQ(w3[0].rssi, -60);  // everything but the time is kept

    // The window's upper end is included, its lower end is not.
    EXPECT_EQ(keys(replay.sightings(1.0, 2.0, start)), Keys{"second"});
    EXPECT_TRUE(replay.sightings(2.0, 2.9, start).empty());
    EXPECT_TRUE(replay.sightings(2.0, 2.0, start).empty());

    // A window spanning loops lists them loop by loop.
    auto many = replay.sightings(-1, 9.0, start);
    EXPECT_EQ(keys(many), (Keys{"first", "second", "first", "second", "first", "second", "first"}));
    EXPECT_EQ(many.back().time, start + 9s);
}

TEST(PrintableText, EscapesWhatCouldActOnATerminalAndKeepsTheRest) {
    const std::pair<std::string, std::string> cases[] = {
        {"Küche ก ✿ 🔊 \\", "Küche ก ✿ 🔊 \\"},  // UTF-8 of two, three and four bytes and backslashes pass
        {"a\nb\r\t\x1b[2J\x7f", "a\\nb\\r\\t\\x1B[2J\\x7F"},
        {"\xc2\x9b" "1m \xc2\xa0", "\\u009B1m \xc2\xa0"},  // C1 CSI escaped, NBSP kept
        // Not UTF-8, overlong in three and four bytes, a surrogate, beyond U+10FFFF.
        {"\xff\xc3(\xe0\x80\x80\xed\xa0\x80\xf0\x80\x80\x80\xf4\x90\x80\x80",
         "\\xFF\\xC3(\\xE0\\x80\\x80\\xED\\xA0\\x80\\xF0\\x80\\x80\\x80\\xF4\\x90\\x80\\x80"},
        {"\xe2\x82(\xe2\x82", "\\xE2\\x82(\\xE2\\x82"},  // cut short, inside and at the end
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(printableText(text), shown) << shown;
}

}  // namespace
}  // namespace quillmote
