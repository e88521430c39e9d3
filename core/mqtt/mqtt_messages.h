#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/activity/minute_record.h"
#include "core/activity/named_presence.h"
#include "core/activity/normal.h"
#include "core/activity/surge_event.h"

namespace quillmote {

// Where to publish: mqtt://host[:port] or mqtts://host[:port] (TLS), port 1883 or 8883
// when not given.
struct MqttUrl {
    bool tls = false;
    std::string host;
    int port = 1883;

    friend bool operator==(const MqttUrl&, const MqttUrl&) = default;
};

std::optional<MqttUrl> parseMqttUrl(std::string_view text);

// A text made fit for one level of a topic: the wildcards, the separator, spaces and
// control characters become "_"; an empty text becomes "quillmote".
std::string topicLevel(std::string_view text);

struct MqttMessage {
    std::string topic;
    std::string payload;
    bool retained = true;

    friend bool operator==(const MqttMessage&, const MqttMessage&) = default;
};

// What is published under one prefix ("quillmote/kitchen-pi"), payload by payload.
namespace MqttPayload {

// {"minute":"2026-03-14T09:41:00.000Z","observedSeconds":60,"around":4.5,"passing":2,...}
std::string minute(const MinuteRecord& record);
// The usual level for the hour to one decimal ("12.5"), or "learning".
std::string usual(const Normal& normal);
// The open episode as its stored JSON, or "none".
std::string crowd(const std::optional<SurgeEvent>& open);
// [{"name":"Desk lamp","firstHeardToday":"…","secondsToday":75,"earlierDays":0}, …]
std::string unfamiliar(const std::vector<UnfamiliarDevice>& devices);

}  // namespace MqttPayload

// Home Assistant's discovery messages for one instance: the sensors "Devices around"
// and "Usual devices" and the binary sensor "Unusual crowd", grouped as one device
// named after `instance` (the host name) and told apart from other instances by the
// prefix.
std::vector<MqttMessage> homeAssistantDiscovery(std::string_view prefix, std::string_view instance);

}  // namespace quillmote
