#include "core/identity/device_identifier.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <utility>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "core/decoding/assigned_numbers.h"
#include "core/decoding/beacons.h"
#include "core/decoding/class_of_device.h"
#include "core/decoding/manufacturer_data.h"

namespace quillmote::DeviceIdentifier {

namespace {

// Shown verbatim in "Why we think this": an arrow and a middle dot, each spaced.
constexpr std::string_view arrow = " \u2192 ";
constexpr std::string_view dot = " \u00B7 ";

// "0x" followed by `digits` upper-case hex digits, zero-padded (more if needed).
std::string hexText(std::uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, static_cast<unsigned>(value));
    return buffer;
}

// The standard library only gains this overload in C++26.
std::string operator+(std::string text, std::string_view more) {
    text.append(more);
    return text;
}

// The clue, if any, of the earliest among the most certain clues that `counts`.
template <typename Predicate>
const Clue* mostCertain(const std::vector<Clue>& clues, Predicate counts) {
    const Clue* best = nullptr;
    for (const Clue& clue : clues)
        if (counts(clue) && (!best || clue.certainty > best->certainty)) best = &clue;
    return best;
}

template <typename T>
void appendAll(std::vector<Clue>& clues, T&& more) {
    clues.insert(clues.end(), std::make_move_iterator(more.begin()),
                 std::make_move_iterator(more.end()));
}

template <typename T, typename Text>
void appendUnique(std::vector<T>& list, Text&& text) {
    if (std::find(list.begin(), list.end(), text) == list.end()) list.emplace_back(std::forward<Text>(text));
}

std::string continuityEvidence(const ContinuityMessage& message) {
    return std::string("Apple '") + displayName(message.kind()) + "' message (" +
           hexText(message.type, 2) + ")";
}

Clue likelyClue(std::optional<DeviceKind> kind, std::string label, std::string evidence) {
    return Clue{kind, std::move(label), std::nullopt, Certainty::likely, std::move(evidence),
                std::nullopt};
}

struct NameWord {
    std::string_view word;
    DeviceKind kind;
};

// Order matters: earlier words win overlaps ("iphone" before "phone", "buds" before
// "galaxy s", "remote" before "plug").
constexpr std::array<NameWord, 62> nameWords{{
    {"airpods", DeviceKind::earbuds},
    {"buds", DeviceKind::earbuds},
    {"beats", DeviceKind::earbuds},
    {"headphone", DeviceKind::earbuds},
    {"headset", DeviceKind::earbuds},
    {"earbud", DeviceKind::earbuds},
    {"jabra", DeviceKind::earbuds},
    {"wh-1000", DeviceKind::earbuds},
    {"wf-1000", DeviceKind::earbuds},
    {"airtag", DeviceKind::tracker},
    {"smarttag", DeviceKind::tracker},
    {"chipolo", DeviceKind::tracker},
    {"tile", DeviceKind::tracker},
    {"echo dot", DeviceKind::speaker},
    {"echo pop", DeviceKind::speaker},
    {"echo studio", DeviceKind::speaker},
    {"echo show", DeviceKind::smartHome},
    {"apple tv", DeviceKind::tv},
    {"[tv]", DeviceKind::tv},
    {" tv", DeviceKind::tv},
    {"bravia", DeviceKind::tv},
    {"roku", DeviceKind::tv},
    {"chromecast", DeviceKind::tv},
    {"homepod", DeviceKind::speaker},
    {"speaker", DeviceKind::speaker},
    {"soundbar", DeviceKind::speaker},
    {"sonos", DeviceKind::speaker},
    {"jbl", DeviceKind::speaker},
    {"boom", DeviceKind::speaker},
    {"watch", DeviceKind::watch},
    {"fitbit", DeviceKind::watch},
    {"garmin", DeviceKind::watch},
    {"amazfit", DeviceKind::watch},
    {"mi band", DeviceKind::watch},
    {"whoop", DeviceKind::watch},
    {"oura", DeviceKind::watch},
    {"iphone", DeviceKind::phone},
    {"galaxy s", DeviceKind::phone},
    {"galaxy a", DeviceKind::phone},
    {"pixel", DeviceKind::phone},
    {"phone", DeviceKind::phone},
    {"ipad", DeviceKind::tablet},
    {"tablet", DeviceKind::tablet},
    {"macbook", DeviceKind::computer},
    {"imac", DeviceKind::computer},
    {"mac mini", DeviceKind::computer},
    {"mac studio", DeviceKind::computer},
    {"laptop", DeviceKind::computer},
    {"desktop", DeviceKind::computer},
    {"thinkpad", DeviceKind::computer},
    {"keyboard", DeviceKind::input},
    {"mouse", DeviceKind::input},
    {"trackpad", DeviceKind::input},
    {"controller", DeviceKind::input},
    {"remote", DeviceKind::input},
    {"printer", DeviceKind::printer},
    {"vertuo", DeviceKind::smartHome},
    {"nespresso", DeviceKind::smartHome},
    {"hue", DeviceKind::smartHome},
    {"nest", DeviceKind::smartHome},
    {"bulb", DeviceKind::smartHome},
    {"plug", DeviceKind::smartHome},
}};

struct HintEntry {
    std::string_view shortUUID;
    ServiceHint hint;
};

constexpr std::array<HintEntry, 19> serviceHints{{
    {"FEED", {DeviceKind::tracker, "Tile tracker", Certainty::likely}},
    {"FEEC", {DeviceKind::tracker, "Tile tracker", Certainty::likely}},
    {"FD5A", {DeviceKind::tracker, "Samsung SmartTag", Certainty::likely}},
    {"FE33", {DeviceKind::tracker, "Chipolo tracker", Certainty::likely}},
    {"FE2C", {std::nullopt, "Google Fast Pair accessory", Certainty::likely}},
    {"FD6F", {DeviceKind::phone, "Phone (exposure notification)", Certainty::likely}},
    {"FE07", {DeviceKind::speaker, "Sonos speaker", Certainty::likely}},
    {"FE03", {std::nullopt, "Alexa built-in device", Certainty::likely}},
    {"FE78", {DeviceKind::printer, "HP printer", Certainty::guess}},
    {"180D", {DeviceKind::health, "Heart-rate sensor", Certainty::sure}},
    {"1812", {DeviceKind::input, "Keyboard, mouse or controller", Certainty::likely}},
    {"1816", {DeviceKind::health, "Bike speed / cadence sensor", Certainty::sure}},
    {"1818", {DeviceKind::health, "Bike power meter", Certainty::sure}},
    {"1814", {DeviceKind::health, "Running speed sensor", Certainty::sure}},
    {"1810", {DeviceKind::health, "Blood-pressure monitor", Certainty::sure}},
    {"1808", {DeviceKind::health, "Glucose meter", Certainty::sure}},
    {"1809", {DeviceKind::health, "Thermometer", Certainty::sure}},
    {"181D", {DeviceKind::health, "Weight scale", Certainty::sure}},
    {"1826", {DeviceKind::health, "Fitness machine", Certainty::sure}},
}};

constexpr std::array<std::string_view, 19> companySuffixes{
    ", Inc.", " Inc.", ", Inc", " Inc", " LLC",  " Co., Ltd.", " Co. Ltd.",
    " Co.,Ltd.", " Corporation", " Corp.", " GmbH", " AB", " Ltd.", " Ltd",
    " d.o.o.", " S.A.", " B.V.", " AG", ",",
};

// Names are matched against lower-case words; most names are plain ASCII, so the
// full Unicode mapping is only paid for the others.
std::string lowerCased(std::string_view text) {
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        std::string lower(text);
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return lower;
    }
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    std::string lower;
    unicode.toLower(icu::Locale::getRoot()).toUTF8String(lower);
    return lower;
}

}  // namespace

DeviceIdentity identify(const DeviceFacts& facts) {
    std::vector<Clue> clues;
    appendAll(clues, deviceClassClues(facts));
    if (auto beacon = rangedBeaconClue(facts)) clues.push_back(std::move(*beacon));
    appendAll(clues, manufacturerClues(facts));
    appendAll(clues, hiddenAppleClues(facts));
    appendAll(clues, serviceClues(facts));
    appendAll(clues, nameClues(facts));

    const Clue* lead = mostCertain(clues, [](const Clue& c) { return c.kind.has_value(); });
    if (!lead) lead = mostCertain(clues, [](const Clue& c) { return c.label.has_value(); });

    DeviceIdentity identity;
    // A maker named early counts even when a later, more certain clue sets the kind.
    auto withMaker = std::find_if(clues.begin(), clues.end(),
                                  [](const Clue& c) { return c.maker.has_value(); });
    if (withMaker != clues.end()) identity.maker = withMaker->maker;

    if (lead) {
        identity.kind = lead->kind.value_or(DeviceKind::unknown);
        if (lead->label) identity.label = *lead->label;
        identity.certainty = lead->certainty;
    } else {
        identity.certainty = identity.maker ? Certainty::sure : Certainty::guess;
    }

    identity.evidence.reserve(clues.size());
    for (Clue& clue : clues) {
        identity.evidence.push_back(std::move(clue.evidence));
        if (clue.detail) identity.details.push_back(std::move(*clue.detail));
    }
    return identity;
}

std::vector<Clue> deviceClassClues(const DeviceFacts& facts) {
    if (!facts.classOfDevice || *facts.classOfDevice == 0) return {};
    const ClassOfDevice cod{*facts.classOfDevice};
    const DeviceKind kind = cod.kind();
    std::string description = cod.description();
    std::string evidence = "Device class " + hexText(cod.rawValue, 6) + arrow + description;
    std::vector<Clue> clues;
    clues.push_back(Clue{kind == DeviceKind::unknown ? std::nullopt : std::optional(kind),
                         std::move(description), std::nullopt, Certainty::sure,
                         std::move(evidence), std::nullopt});
    return clues;
}

std::optional<Clue> rangedBeaconClue(const DeviceFacts& facts) {
    if (!facts.rangedBeacon) return std::nullopt;
    return Clue{DeviceKind::beacon,
                "iBeacon",
                std::nullopt,
                Certainty::sure,
                "Found by iOS Location, listening for a beacon ID you added",
                facts.rangedBeacon->detail()};
}

std::vector<Clue> manufacturerClues(const DeviceFacts& facts) {
    const auto data = ManufacturerData::from(facts.advertisement.manufacturerData);
    if (!data) return {};

    std::vector<Clue> clues;
    const auto companyName = data->companyName();
    Clue company;
    if (companyName) company.maker = shortCompanyName(*companyName);
    company.certainty = Certainty::sure;
    company.evidence = "Manufacturer data company ID " + hexText(data->companyID, 4) + arrow +
                       (companyName ? *companyName : std::string_view("unregistered company"));
    clues.push_back(std::move(company));

    if (data->companyID == ManufacturerData::microsoft) {
        if (auto clue = microsoftClue(data->payload)) clues.push_back(std::move(*clue));
    } else if (data->companyID == ManufacturerData::apple) {
        for (const ContinuityMessage& message : AppleContinuity::messages(data->payload))
            if (auto clue = appleClue(message)) clues.push_back(std::move(*clue));
    }
    return clues;
}

std::optional<Clue> microsoftClue(ByteView payload) {
    if (payload.empty()) return std::nullopt;
    switch (payload[0]) {
        case 0x01:
            return likelyClue(DeviceKind::computer, "Windows PC",
                              "Microsoft Connected Devices beacon" + std::string(arrow) + "Windows PC");
        case 0x03:
            return likelyClue(std::nullopt, "Accessory in pairing mode (Swift Pair)",
                              "Microsoft Swift Pair beacon");
        default: return std::nullopt;
    }
}

std::optional<Clue> appleClue(const ContinuityMessage& message) {
    const ContinuityKind kind = message.kind();
    if (kind == ContinuityKind::unknown) {
        Clue clue;
        clue.certainty = Certainty::guess;
        clue.evidence = "Apple message type " + hexText(message.type, 2) + " (meaning unknown)";
        return clue;
    }

    std::string evidence = continuityEvidence(message);
    switch (kind) {
        case ContinuityKind::iBeacon: {
            const auto beacon = IBeacon::from(message);
            if (!beacon) return std::nullopt;
            Clue clue{DeviceKind::beacon, "iBeacon", std::nullopt, Certainty::sure,
                      std::move(evidence), std::nullopt};
            clue.detail = "iBeacon " + beacon->proximityUUID.text() + dot + "major " +
                          std::to_string(beacon->major) + dot + "minor " +
                          std::to_string(beacon->minor) + dot +
                          std::to_string(beacon->measuredPower) + " dBm at 1 m";
            return clue;
        }
        case ContinuityKind::airPrint:
            return likelyClue(DeviceKind::printer, "AirPrint printer", std::move(evidence));
        case ContinuityKind::homeKit:
            return likelyClue(DeviceKind::smartHome, "HomeKit accessory", std::move(evidence));
        case ContinuityKind::proximityPairing: {
            const auto pairing = ProximityPairing::from(message);
            if (!pairing)
                return likelyClue(DeviceKind::earbuds, "AirPods or Beats (model hidden)",
                                  std::move(evidence) + ", short encrypted form" + arrow +
                                      "AirPods or Beats, model not readable");
            const std::string code = hexText(pairing->modelCode, 4);
            const auto model = pairing->modelName();
            std::string label = model ? std::string(*model) : "AirPods / Beats (model " + code + ")";
            Clue clue = likelyClue(DeviceKind::earbuds, label,
                                   std::move(evidence) + ", model code " + code + arrow + label);
            clue.detail = batteryDetail(*pairing);
            return clue;
        }
        case ContinuityKind::airPlayTarget:
            return likelyClue(DeviceKind::tv, "AirPlay receiver (Apple TV, HomePod or Mac)",
                              std::move(evidence));
        case ContinuityKind::magicSwitch:
            return likelyClue(DeviceKind::watch, "Apple Watch",
                              std::move(evidence) + arrow + "Apple Watch");
        case ContinuityKind::tetheringSource:
            return likelyClue(DeviceKind::phone, "iPhone (or cellular iPad)",
                              std::move(evidence) + arrow + "offers a hotspot");
        case ContinuityKind::findMy: {
            const auto device = findMyDeviceFrom(message);
            if (!device) return std::nullopt;
            std::optional<DeviceKind> deviceKind;
            switch (*device) {
                case FindMyDevice::appleDevice: deviceKind = DeviceKind::appleDevice; break;
                case FindMyDevice::airTag: deviceKind = DeviceKind::tracker; break;
                case FindMyDevice::accessoryOrAirPods: break;
                case FindMyDevice::airPods: deviceKind = DeviceKind::earbuds; break;
            }
            const std::string_view text = label(*device);
            return likelyClue(deviceKind, std::string(text), std::move(evidence) + arrow + text);
        }
        case ContinuityKind::airDrop:
        case ContinuityKind::heySiri:
        case ContinuityKind::airPlaySource:
        case ContinuityKind::handoff:
        case ContinuityKind::tetheringTarget:
        case ContinuityKind::nearbyAction:
        case ContinuityKind::nearbyInfo:
            return likelyClue(DeviceKind::appleDevice, "Apple device (iPhone, iPad, Mac or Watch)",
                              std::move(evidence));
        case ContinuityKind::unknown: break;
    }
    return std::nullopt;
}

std::vector<Clue> hiddenAppleClues(const DeviceFacts& facts) {
    const Advertisement& ad = facts.advertisement;
    // Transmit power, connectability and other fields survive the stripping, so they
    // do not count as "something else".
    const bool showsNothing = !ad.localName && !facts.cachedName && !ad.manufacturerData &&
                              ad.serviceData.empty() && ad.serviceUUIDs.empty() &&
                              ad.overflowServiceUUIDs.empty() && ad.solicitedServiceUUIDs.empty() &&
                              !facts.classOfDevice && !facts.rangedBeacon;
    if (!facts.appleDataHidden || !showsNothing) return {};
    std::vector<Clue> clues;
    clues.push_back(Clue{DeviceKind::appleDevice, "Apple device (hidden by iOS)", std::nullopt,
                         Certainty::guess,
                         "Empty broadcast on iPhone" + std::string(arrow) +
                             "iOS removes Apple's data, so probably an Apple device",
                         std::nullopt});
    return clues;
}

std::vector<Clue> serviceClues(const DeviceFacts& facts) {
    const Advertisement& ad = facts.advertisement;
    // Every service-data key comes first, so an advertised UUID that survives the
    // repeat check has no data of its own.
    struct Service {
        std::string_view uuid;
        const Bytes* data;
        bool operator==(std::string_view other) const { return uuid == other; }
    };
    std::vector<Service> services;
    services.reserve(ad.serviceData.size() + ad.serviceUUIDs.size());
    for (const auto& [uuid, data] : ad.serviceData) services.push_back({uuid, &data});
    for (const std::string& uuid : ad.serviceUUIDs)
        if (std::find(services.begin(), services.end(), std::string_view(uuid)) == services.end())
            services.push_back({uuid, nullptr});

    std::vector<Clue> clues;
    for (const Service& service : services)
        if (auto clue = serviceClue(service.uuid, service.data)) clues.push_back(std::move(*clue));

    if (!ad.overflowServiceUUIDs.empty()) {
        Clue overflow;
        overflow.certainty = Certainty::guess;
        overflow.evidence = "Apple background-app services (hashed, can't be read)";
        clues.push_back(std::move(overflow));
    }
    return clues;
}

std::optional<Clue> serviceClue(std::string_view uuid, const Bytes* data) {
    const auto shortForm = AssignedNumbers::shortUUID(uuid);
    if (!shortForm) return std::nullopt;

    if (*shortForm == Eddystone::serviceUUID && data) {
        if (const auto frame = Eddystone::fromServiceData(*data)) {
            const DeviceKind kind = frame->frame == Eddystone::Frame::findMyDeviceNetwork
                                        ? DeviceKind::tracker
                                        : DeviceKind::beacon;
            std::string text = frame->label();
            return likelyClue(kind, text, "Eddystone service data (FEAA)" + std::string(arrow) + text);
        }
    }

    const auto name = AssignedNumbers::serviceName(*shortForm);
    std::optional<std::string> maker;
    if (name && isMemberUUID(*shortForm)) maker = shortCompanyName(*name);

    std::string evidence = "Service " + *shortForm;
    if (name) evidence = (std::move(evidence) + " (" + *name) + ")";

    if (const auto hint = serviceHint(*shortForm)) {
        return Clue{hint->kind,
                    std::string(hint->label),
                    std::move(maker),
                    hint->certainty,
                    std::move(evidence) + arrow + hint->label,
                    std::nullopt};
    }
    if (name)
        return Clue{std::nullopt, std::nullopt, std::move(maker), Certainty::sure, std::move(evidence),
                    std::nullopt};
    return std::nullopt;
}

std::optional<ServiceHint> serviceHint(std::string_view shortUUID) {
    for (const HintEntry& entry : serviceHints)
        if (entry.shortUUID == shortUUID) return entry.hint;
    return std::nullopt;
}

bool isMemberUUID(std::string_view shortUUID) {
    if (shortUUID.empty()) return false;
    unsigned value = 0;
    const char* end = shortUUID.data() + shortUUID.size();
    const auto [stop, error] = std::from_chars(shortUUID.data(), end, value, 16);
    if (error != std::errc() || stop != end) return false;
    // Shared by many makers, so they name none.
    return value >= 0xFC00 && value != 0xFD6F && value != 0xFEAA;
}

std::optional<std::string> batteryDetail(const ProximityPairing& pairing) {
    const bool anyBud = std::any_of(pairing.budBatteries.begin(), pairing.budBatteries.end(),
                                    [](const std::optional<int>& level) { return level.has_value(); });
    if (!anyBud && !pairing.caseBattery) return std::nullopt;

    std::string text = "Battery: buds ";
    bool first = true;
    for (const auto& level : pairing.budBatteries) {
        if (!level) continue;
        if (!first) text += dot;
        text += std::to_string(*level) + "%";
        first = false;
    }
    if (!anyBud) text += "?";
    if (pairing.caseBattery) text += ", case " + std::to_string(*pairing.caseBattery) + "%";
    return text;
}

std::vector<Clue> nameClues(const DeviceFacts& facts) {
    const std::optional<std::string>& name =
        facts.advertisement.localName ? facts.advertisement.localName : facts.cachedName;
    if (!name) return {};

    const std::string lower = lowerCased(*name);
    for (const NameWord& entry : nameWords) {
        if (lower.find(entry.word) == std::string::npos) continue;
        const std::string_view kindName = rawValue(entry.kind);
        std::string evidence = "Name \"" + *name + "\" contains \"" + entry.word + "\"" + arrow + kindName;
        std::vector<Clue> clues;
        clues.push_back(Clue{entry.kind, std::string(kindName), std::nullopt, Certainty::guess,
                             std::move(evidence), std::nullopt});
        return clues;
    }
    return {};
}

std::string shortCompanyName(std::string_view name) {
    bool removed = true;
    while (removed) {
        removed = false;
        for (std::string_view suffix : companySuffixes) {
            if (name.ends_with(suffix)) {
                name.remove_suffix(suffix.size());
                removed = true;
            }
        }
    }
    constexpr std::string_view services = ".com Services";
    if (name.ends_with(services)) name.remove_suffix(services.size());

    constexpr std::string_view blanks = " \t";
    const auto first = name.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const auto last = name.find_last_not_of(blanks);
    return std::string(name.substr(first, last - first + 1));
}

std::vector<std::string> orderedUnique(const std::vector<std::string>& texts) {
    std::vector<std::string> unique;
    for (const std::string& text : texts) appendUnique(unique, text);
    return unique;
}

}  // namespace quillmote::DeviceIdentifier
