#include "cli/record_json.h"

namespace quillmote::cli {

using nlohmann::json;

namespace {

void identityFields(json& out, const DeviceRecord& record) {
    const DeviceIdentity& identity = record.identity;
    out["displayName"] = record.displayName();
    out["packetCount"] = record.packetCount;
    if (identity.maker) out["maker"] = *identity.maker;
    out["kind"] = rawValue(identity.kind);
    out["label"] = identity.label;
    out["certainty"] = label(identity.certainty);
    out["evidence"] = identity.evidence;
    out["details"] = identity.details;
}

template <typename T>
void putIfPresent(json& out, const char* key, const std::optional<T>& value) {
    if (value) out[key] = *value;
}

}  // namespace

json identityJson(const DeviceRecord& record) {
    json out = {{"deviceKey", record.id}};
    identityFields(out, record);
    return out;
}

json rowJson(const DeviceRecord& record, std::size_t loggedPackets, Instant now) {
    json out = {
        {"id", record.id},
        {"source", rawValue(record.source)},
        {"firstSeen", formatISO8601(record.firstSeen)},
        {"lastSeen", formatISO8601(record.lastSeen)},
        {"hasOwnName", record.hasOwnName()},
        {"identityChanges", record.identityChanges},
        {"loggedPackets", loggedPackets},
    };
    identityFields(out, record);
    putIfPresent(out, "rssi", record.rssi());
    putIfPresent(out, "lastRawRSSI", record.lastRawRSSI);
    if (auto proximity = record.proximity()) out["proximity"] = rawValue(*proximity);
    if (auto distance = record.distance())
        out["distance"] = {{"label", distance->label()},
                           {"lower", distance->lower},
                           {"upper", distance->upper},
                           {"isCalibrated", distance->isCalibrated}};
    putIfPresent(out, "packetsPerSecond", record.packetsPerSecond(now));
    putIfPresent(out, "cachedName", record.cachedName);
    putIfPresent(out, "classOfDevice", record.classOfDevice);
    putIfPresent(out, "isConnected", record.isConnected);
    putIfPresent(out, "batteryPercent", record.batteryPercent);
    out["freshness"] = Freshness::of(record, now) == Freshness::live ? "live" : "silent";
    switch (Recency::of(record, now)) {
        case Recency::live: out["recency"] = "live"; break;
        case Recency::fading: out["recency"] = "fading"; break;
        case Recency::gone: out["recency"] = "gone"; break;
    }
    return out;
}

std::string dump(const json& value) { return value.dump(2, ' ', false, json::error_handler_t::replace) + "\n"; }

}  // namespace quillmote::cli
