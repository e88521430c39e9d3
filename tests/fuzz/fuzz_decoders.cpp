// Any bytes through every advertisement decoder: no crash, no sanitizer finding,
// and the decoded values stay consistent with the bytes they came from.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/decoding/apple_continuity.h"
#include "core/decoding/assigned_numbers.h"
#include "core/decoding/beacons.h"
#include "core/decoding/class_of_device.h"
#include "core/decoding/manufacturer_data.h"

using namespace quillmote;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool isLevel(const std::optional<int>& level) { return !level || (*level >= 0 && *level <= 100 && *level % 10 == 0); }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool containsIgnoringCase(std::string_view text, std::string_view needle) {
    for (std::size_t start = 0; start + needle.size() <= text.size(); ++start) {
        std::size_t i = 0;
        while (i < needle.size() && lower(text[start + i]) == lower(needle[i])) ++i;
        if (i == needle.size()) return true;
    }
    return false;
}

void checkMessage(const ContinuityMessage& message) {
    if (auto pairing = ProximityPairing::from(message)) {
        require(message.type == 0x07 && message.value.size() >= ProximityPairing::fullLength);
        require(message.value[0] == 0x01);
        require(pairing->modelCode == (message.value[1] << 8 | message.value[2]));
        require(isLevel(pairing->budBatteries[0]) && isLevel(pairing->budBatteries[1]) &&
                isLevel(pairing->caseBattery));
        if (auto name = pairing->modelName()) require(!name->empty());
    }
    if (auto device = findMyDeviceFrom(message)) {
        require(message.type == 0x12 && !message.value.empty());
        require(!label(*device).empty());
    }
    if (auto beacon = IBeacon::from(message)) {
        require(message.type == 0x02 && message.value.size() >= 21);
        require(std::equal(beacon->proximityUUID.bytes.begin(), beacon->proximityUUID.bytes.end(), message.value.begin()));
        require(beacon->measuredPower >= -128 && beacon->measuredPower <= 127);
    }
    require(!displayName(message.kind()).empty());
}

// The messages re-encoded as type, length, value must be a prefix of the payload,
// and whatever is left over must not hold a further complete element.
void checkSplit(ByteView payload) {
    auto messages = AppleContinuity::messages(payload);
    std::size_t offset = 0;
    for (const auto& message : messages) {
        require(offset + 2 + message.value.size() <= payload.size());
        require(payload[offset] == message.type);
        require(payload[offset + 1] == message.value.size());
        require(std::equal(message.value.begin(), message.value.end(), payload.begin() + static_cast<std::ptrdiff_t>(offset) + 2));
        offset += 2 + message.value.size();
        checkMessage(message);
    }
    if (offset < payload.size()) require(offset + 1 == payload.size() || offset + 2 + payload[offset + 1] > payload.size());
}

void checkEddystone(ByteView data) {
    auto eddystone = Eddystone::fromServiceData(data);
    if (!eddystone) return;
    auto label = eddystone->label();
    require(!label.empty());
    switch (eddystone->frame) {
        case Eddystone::Frame::uid:
            require(data.size() >= 18 && eddystone->namespaceID.size() == 10 && eddystone->instance.size() == 6);
            break;
        case Eddystone::Frame::url:
            require(data.size() >= 3 && label.ends_with(eddystone->url));
            for (char c : eddystone->url) require(c >= 33 && c <= 126);
            break;
        default:
            require(eddystone->namespaceID.empty() && eddystone->instance.empty() && eddystone->url.empty());
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteView input(data, size);

    if (auto manufacturer = ManufacturerData::from(input)) {
        require(size >= 2 && manufacturer->payload.size() == size - 2);
        require(manufacturer->companyID == (data[0] | data[1] << 8));
        (void)manufacturer->companyName();
        checkSplit(manufacturer->payload);
    } else {
        require(size < 2);
    }
    checkSplit(input);
    checkEddystone(input);

    std::uint32_t raw = 0;
    for (std::size_t i = 0; i < 4 && i < size; ++i) raw |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    ClassOfDevice cod{raw};
    require(cod.major() < 32 && cod.minor() < 64 && !cod.description().empty());
    (void)cod.kind();

    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto uuid = BeaconID::extract(text)) require(containsIgnoringCase(text, uuid->text()));
    if (auto shortForm = AssignedNumbers::shortUUID(text)) require(shortForm->size() == 4);
    (void)AssignedNumbers::serviceName(text);
    return 0;
}
