#include "core/mqtt/mqtt_messages.h"

#include <gtest/gtest.h>

namespace quillmote {
namespace {

TEST(MqttUrl, OnlyBrokerAddressesParse) {
    const std::pair<const char*, std::optional<MqttUrl>> cases[] = {
        {"mqtt://broker.local:1884", MqttUrl{false, "broker.local", 1884}},
        {"mqtts://10.0.0.2", MqttUrl{true, "10.0.0.2", 8883}},
        {"mqtt://pi/", MqttUrl{false, "pi", 1883}},
        {"mqtt://[::1]:1885", MqttUrl{false, "::1", 1885}},
        {"mqtt://[fe80::1]", MqttUrl{false, "fe80::1", 1883}},
        {"http://broker:1883", std::nullopt},
        {"mqtt://", std::nullopt},
        {"mqtt://broker:", std::nullopt},
        {"mqtt://broker:0", std::nullopt},
        {"mqtt://broker:65536", std::nullopt},
        {"mqtt://broker:12ab", std::nullopt},
        {"mqtt://user@broker:1883", std::nullopt},
        {"mqtt://broker/path", std::nullopt},
        {"mqtt://[::1", std::nullopt},
        {"mqtt://[::1]x", std::nullopt},
        {"mqtt://a:b:c", std::nullopt},
    };
    for (const auto& [text, url] : cases) EXPECT_EQ(parseMqttUrl(text), url) << text;
}

TEST(MqttPayload, LevelsAndPayloadsStayWithinWhatTheirReadersTake) {
    EXPECT_EQ(topicLevel("kitchen pi/#1+\x7f"), "kitchen_pi__1__");
    EXPECT_EQ(topicLevel(""), "quillmote");
    EXPECT_EQ(MqttPayload::usual(Normal{12.34, std::nullopt, 0}), "12.3");
    EXPECT_EQ(MqttPayload::usual(Normal{7.0, std::nullopt, 0}), "7.0");
    EXPECT_EQ(MqttPayload::usual(Normal{std::nullopt, std::nullopt, 2}), "learning");
    EXPECT_EQ(MqttPayload::crowd(std::nullopt), "none");
    const Instant minute{std::chrono::minutes(29'546'381)};
    // A name heard over the air is JSON-escaped, and bytes that are not UTF-8 replaced.
    EXPECT_EQ(MqttPayload::unfamiliar({UnfamiliarDevice{"Lamp \"A\"\xff", minute, 61, 0}}),
              "[{\"earlierDays\":0,\"firstHeardToday\":\"2026-03-06T07:41:00.000Z\",\"name\":\"Lamp \\\"A\\\"\xEF\xBF\xBD\","
              "\"secondsToday\":61}]");
}

}  // namespace
}  // namespace quillmote
