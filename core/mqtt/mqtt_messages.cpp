#include "core/mqtt/mqtt_messages.h"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "core/activity/history_files.h"

namespace quillmote {

using json = nlohmann::json;

namespace {

std::string compact(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

}  // namespace

std::optional<MqttUrl> parseMqttUrl(std::string_view text) {
    MqttUrl url;
    if (text.starts_with("mqtts://")) {
        url.tls = true;
        url.port = 8883;
        text.remove_prefix(8);
    } else if (text.starts_with("mqtt://")) {
        text.remove_prefix(7);
    } else {
        return std::nullopt;
    }
    if (text.ends_with('/')) text.remove_suffix(1);
    std::string_view host = text, port;
    bool needsPort = false;
    if (text.starts_with('[')) {  // an IPv6 address: [::1]:1883
        const auto close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) return std::nullopt;
        needsPort = !rest.empty();
        port = needsPort ? rest.substr(1) : rest;
    } else if (const auto colon = text.find(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        needsPort = true;
    }
    if (host.empty() || host.find_first_of("/?#@ []") != std::string_view::npos || (needsPort && port.empty()))
        return std::nullopt;
    if (!port.empty()) {
        int value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535)
            return std::nullopt;
        url.port = value;
    }
    url.host = std::string(host);
    return url;
}

std::string topicLevel(std::string_view text) {
    std::string level;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        level += c == '+' || c == '#' || c == '/' || byte <= ' ' || byte == 0x7F ? '_' : c;
    }
    return level.empty() ? "quillmote" : level;
}

namespace MqttPayload {

std::string minute(const MinuteRecord& record) {
    return compact({{"minute", formatISO8601(record.minute)},
                    {"observedSeconds", record.observedSeconds},
                    {"around", std::isfinite(record.around) ? json(record.around) : json()},
                    {"passing", record.passing},
                    {"arrived", record.arrived},
                    {"left", record.left},
                    {"moved", record.moved}});
}

std::string usual(const Normal& normal) {
    if (!normal.usual || !std::isfinite(*normal.usual)) return "learning";
    return compact(std::round(*normal.usual * 10) / 10);
}

std::string crowd(const std::optional<SurgeEvent>& open) {
    if (!open) return "none";
    return HistoryFiles::surgeText(*open).value_or("none");
}

std::string unfamiliar(const std::vector<UnfamiliarDevice>& devices) {
    json list = json::array();
    for (const auto& device : devices)
        list.push_back({{"name", device.name},
                        {"firstHeardToday", formatISO8601(device.firstHeardToday)},
                        {"secondsToday", device.secondsToday},
                        {"earlierDays", device.earlierDays}});
    return compact(list);
}

}  // namespace MqttPayload

std::vector<MqttMessage> homeAssistantDiscovery(std::string_view prefix, std::string_view instance) {
    const std::string p(prefix);
    std::string node;  // Home Assistant's object ids take letters, digits, "_" and "-"
    for (const char c : p) node += std::isalnum(static_cast<unsigned char>(c)) || c == '-' ? c : '_';
    const json device = {{"identifiers", json::array({node})},
                         {"name", "Quillmote " + std::string(instance)},
                         {"manufacturer", "Quillmote"},
                         {"model", "Bluetooth crowd counter"}};
    const json availability = {{"availability_topic", p + "/status"},
                               {"payload_available", "online"},
                               {"payload_not_available", "offline"}};
    auto config = [&](const char* component, const char* object, json fields) {
        fields.update(availability);
        fields["unique_id"] = node + "_" + object;
        fields["object_id"] = node + "_" + object;
        fields["device"] = device;
        return MqttMessage{"homeassistant/" + std::string(component) + "/" + node + "/" + object + "/config",
                           compact(fields), true};
    };
    return {
        config("sensor", "around",
               {{"name", "Devices around"}, {"state_topic", p + "/around"}, {"unit_of_measurement", "devices"},
                {"state_class", "measurement"}, {"icon", "mdi:bluetooth"}}),
        config("sensor", "usual",
               {{"name", "Usual devices"}, {"state_topic", p + "/usual"}, {"unit_of_measurement", "devices"},
                {"state_class", "measurement"}, {"icon", "mdi:account-group"},
                // "learning" is not a number: unknown until the usual level is learnt
                {"value_template", "{{ value if value != 'learning' else None }}"}}),
        config("binary_sensor", "crowd",
               {{"name", "Unusual crowd"}, {"state_topic", p + "/crowd"}, {"icon", "mdi:account-multiple-plus"},
                {"value_template", "{{ 'OFF' if value == 'none' else 'ON' }}"}}),
    };
}

}  // namespace quillmote
