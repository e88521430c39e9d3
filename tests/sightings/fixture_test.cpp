#include "core/sightings/fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "core/sightings/printable_text.h"
#include "tests/support/temp_dir.h"

namespace quillmote {
namespace {

using namespace std::chrono;
using ::testing::HasSubstr;

Instant at(milliseconds ms) { return sys_days(2026y / March / 1) + 14h + ms; }

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
    Sighting s(SightingSource::lowEnergy, "AA:BB:CC:DD:EE:01", at(250ms), -61, "Cached", ad, 0x240404, true, 80,
               RangedBeacon::make(*Uuid::fromText("E2C56DB5-DFFB-48D2-B060-D0F5A71096E0"), 1, 2, 1.5));
    return s;
}

Sighting bareSighting() {
    return Sighting(SightingSource::paired, "aa-bb-cc-dd-ee-ff", at(0ms), std::nullopt);
}

std::string decodeError(std::string_view text) {
    try {
        Fixture::decode(text);
    } catch (const FixtureError& error) {
        return error.what();
    }
    return "(decoded)";
}

// One sighting object with `replace` spliced over the member it names.
std::string oneSighting(const std::string& members) {
    return R"([{"source": "LE", "deviceKey": "K", "time": "2026-03-01T14:05:09.250Z", )" + members + "}]";
}
const std::string emptyAd =
    R"("advertisement": {"serviceData": {}, "serviceUUIDs": [], "overflowServiceUUIDs": [], "solicitedServiceUUIDs": [], "otherFields": {}})";

TEST(Fixture, RoundTripsEveryFieldAndIsByteStable) {
    std::vector<Sighting> sightings{richSighting(), bareSighting()};
    std::string text = Fixture::encode(sightings);
    auto decoded = Fixture::decode(text);
    EXPECT_EQ(decoded, sightings);
    EXPECT_EQ(Fixture::encode(decoded), text);
}

TEST(Fixture, WritesSortedKeysHexAndMillisecondInstants) {
    std::string text = Fixture::encode(std::vector{richSighting()});
    // Keys appear in ascending order at every depth.
    std::vector<std::string> keys{"advertisement", "isConnectable", "localName", "manufacturerData", "otherFields",
                                  "overflowServiceUUIDs", "serviceData", "serviceUUIDs", "solicitedServiceUUIDs",
                                  "txPower", "batteryPercent", "cachedName", "classOfDevice", "deviceKey",
                                  "isConnected", "rangedBeacon", "major", "metres", "minor", "uuid", "rssi",
                                  "source", "time"};
    std::size_t last = 0;
    for (const auto& key : keys) {
        auto found = text.find("\"" + key + "\"", last);
        ASSERT_NE(found, std::string::npos) << key << " missing or out of order";
        last = found;
    }
    EXPECT_LT(text.find("\"180F\""), text.find("\"FEAA\""));
    EXPECT_THAT(text, HasSubstr(R"("manufacturerData": "4C 00 07 19")"));
    EXPECT_THAT(text, HasSubstr(R"("180F": "")"));
    EXPECT_THAT(text, HasSubstr(R"("time": "2026-03-01T14:00:00.250Z")"));
    EXPECT_THAT(text, HasSubstr(R"("source": "LE")"));
    EXPECT_THAT(text, HasSubstr("\n  {\n    \"advertisement\": {\n"));  // pretty-printed
}

TEST(Fixture, OmitsAbsentOptionalsButAlwaysWritesMapsAndLists) {
    std::string text = Fixture::encode(std::vector{bareSighting()});
    for (auto key : {"rssi", "cachedName", "classOfDevice", "isConnected", "batteryPercent", "rangedBeacon",
                     "localName", "manufacturerData", "txPower", "isConnectable", "null"})
        EXPECT_THAT(text, ::testing::Not(HasSubstr(key))) << key;
    for (auto key : {"serviceData", "serviceUUIDs", "overflowServiceUUIDs", "solicitedServiceUUIDs", "otherFields"})
        EXPECT_THAT(text, HasSubstr(key));

    EXPECT_EQ(Fixture::encode({}), "[]\n");
    EXPECT_TRUE(Fixture::decode("[]").empty());
    EXPECT_TRUE(Fixture::decode(" \n[ ]\n").empty());
}

TEST(Fixture, ReadsLenientlyWhereTheFormatAllows) {
    auto decoded = Fixture::decode(oneSighting(
        R"("time": "2026-03-01T14:05:09Z", "rssi": 0, "cachedName": null, "unknownKey": [1, {"x": 2}], )" +
        std::string(R"("advertisement": {"manufacturerData": "4c:00-0a ff", "serviceData": {"feaa": "10 0a"},
           "serviceUUIDs": [], "overflowServiceUUIDs": [], "solicitedServiceUUIDs": [], "otherFields": {}},
           "rangedBeacon": {"uuid": "e2c56db5-dffb-48d2-b060-d0f5a71096e0", "major": 1, "minor": 2, "metres": -1})")));
    ASSERT_EQ(decoded.size(), 1u);
    const auto& s = decoded[0];
    EXPECT_EQ(s.time, sys_days(2026y / March / 1) + 14h + 5min + 9s);  // later duplicate key wins
    EXPECT_EQ(s.rssi, 0);                                               // stored values are not re-judged
    EXPECT_FALSE(s.cachedName);
    EXPECT_EQ(s.advertisement.manufacturerData, (Bytes{0x4C, 0x00, 0x0A, 0xFF}));
    EXPECT_EQ(s.advertisement.serviceData.at("feaa"), (Bytes{0x10, 0x0A}));
    EXPECT_EQ(s.rangedBeacon->metres, -1.0);

    auto noRSSI = Fixture::decode(oneSighting(emptyAd));
    EXPECT_FALSE(noRSSI.at(0).rssi);
}

TEST(Fixture, ErrorsNameTheSightingTheKeyAndTheReason) {
    EXPECT_EQ(decodeError(oneSighting(R"("rssi": -50)")), "sighting 1: missing key \"advertisement\"");
    EXPECT_EQ(decodeError(R"([{"source": "LE"}])"), "sighting 1: missing key \"deviceKey\"");
    EXPECT_EQ(decodeError(oneSighting(R"("time": "yesterday", )" + emptyAd)),
              "sighting 1, time: Not an ISO 8601 date: yesterday");
    EXPECT_EQ(decodeError(oneSighting(R"("advertisement": {"manufacturerData": "ABC"})")),
              "sighting 1, advertisement.manufacturerData: Not hex: ABC");
    EXPECT_EQ(decodeError(oneSighting(
                  R"("advertisement": {"serviceData": {"FEAA": "0"}, "serviceUUIDs": [], "overflowServiceUUIDs": [], "solicitedServiceUUIDs": [], "otherFields": {}})")),
              "sighting 1, advertisement.serviceData.FEAA: Not hex: 0");
    EXPECT_EQ(decodeError(oneSighting(R"("advertisement": {"serviceData": {}})")),
              "sighting 1, advertisement: missing key \"serviceUUIDs\"");
    EXPECT_EQ(decodeError(oneSighting(R"("rssi": "loud", )" + emptyAd)),
              "sighting 1, rssi: expected an integer, found a string");
    EXPECT_EQ(decodeError(oneSighting(R"("rssi": -50.5, )" + emptyAd)), "sighting 1, rssi: -50.5 is out of range");
    EXPECT_EQ(decodeError(oneSighting(R"("classOfDevice": -1, )" + emptyAd)),
              "sighting 1, classOfDevice: -1 is out of range");
    EXPECT_EQ(decodeError(oneSighting(R"("rangedBeacon": {"uuid": "x", "major": 1, "minor": 2}, )" + emptyAd)),
              "sighting 1, rangedBeacon.uuid: \"x\" is not a UUID");
    EXPECT_EQ(decodeError(oneSighting(
                  R"("rangedBeacon": {"uuid": "e2c56db5-dffb-48d2-b060-d0f5a71096e0", "major": 65536, "minor": 2}, )" + emptyAd)),
              "sighting 1, rangedBeacon.major: 65536 is out of range");
    EXPECT_EQ(decodeError(oneSighting(R"("isConnected": 1, )" + emptyAd)),
              "sighting 1, isConnected: expected true or false, found an integer");
    EXPECT_EQ(decodeError(R"([{"source": "XX"}])"), "sighting 1, source: \"XX\" is neither \"LE\" nor \"PR\"");

    std::string good = oneSighting(emptyAd);
    std::string twoThenBad = good.substr(0, good.size() - 1) + ", " + good.substr(1, good.size() - 2) + ", 7]";
    EXPECT_EQ(decodeError(twoThenBad), "sighting 3: expected an object, found an integer");
    EXPECT_EQ(decodeError(R"([[1, 2]])"), "sighting 1: expected an object, found an array");
}

TEST(Fixture, RejectsWhatIsNoCapture) {
    EXPECT_EQ(decodeError(R"({"source": "LE"})"), "not a capture: the top level is not a JSON array");
    EXPECT_EQ(decodeError("42"), "not a capture: the top level is not a JSON array");
    EXPECT_THAT(decodeError(""), HasSubstr("not valid JSON"));
    EXPECT_THAT(decodeError("[{\"source\": \"LE\""), HasSubstr("not valid JSON"));
    EXPECT_THAT(decodeError("[] []"), HasSubstr("not valid JSON"));
    EXPECT_THAT(decodeError("[\"\xFF\"]"), HasSubstr("not valid JSON"));
    // Deep nesting inside one element is an error, not a stack overflow.
    std::string deep = "[" + std::string(100000, '[') + std::string(100000, ']') + "]";
    EXPECT_EQ(decodeError(deep), "sighting 1: expected an object, found an array");
}

TEST(Fixture, WritesInvalidUTF8NamesAsReplacementCharacters) {
    Sighting s = bareSighting();
    s.cachedName = std::string("Bad\xC3(name");
    std::string text = Fixture::encode(std::vector{s});
    EXPECT_THAT(text, HasSubstr("Bad\uFFFD(name"));
    EXPECT_EQ(Fixture::encode(Fixture::decode(text)), text);
}

TEST(Fixture, ReadsFilesAndStreamsAlike) {
    test::TempDir dir;
    std::vector<Sighting> sightings{richSighting(), bareSighting()};
    auto file = dir.write("capture.json", Fixture::encode(sightings));
    EXPECT_EQ(Fixture::decodeFile(file), sightings);
    std::istringstream stream(test::readFile(file));
    EXPECT_EQ(Fixture::decode(stream), sightings);

    EXPECT_THROW(Fixture::decodeFile(dir.path() / "missing.json"), FixtureError);
    try {
        Fixture::decodeFile(dir.path());
        FAIL() << "a folder decoded";
    } catch (const FixtureError& error) {
        EXPECT_STREQ(error.what(), "it is a folder, not a file");
    }
}

TEST(PrintableText, EscapesWhatCouldActOnATerminalAndKeepsTheRest) {
    const std::pair<std::string, std::string> cases[] = {
        {"Küche 🔊 \\", "Küche 🔊 \\"},           // UTF-8 and backslashes pass
        {"a\nb\r\t\x1b[2J\x7f", "a\\nb\\r\\t\\x1B[2J\\x7F"},
        {"\xc2\x9b" "1m \xc2\xa0", "\\u009B1m \xc2\xa0"},  // C1 CSI escaped, NBSP kept
        {"\xff\xc3(\xe0\x80\x80\xed\xa0\x80\xf4\x90\x80\x80",  // not UTF-8, overlong, surrogate, > U+10FFFF
         "\\xFF\\xC3(\\xE0\\x80\\x80\\xED\\xA0\\x80\\xF4\\x90\\x80\\x80"},
        {"\xe2\x82", "\\xE2\\x82"},  // cut short
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(printableText(text), shown) << shown;
}

}  // namespace
}  // namespace quillmote
