// Any bytes through every advertisement decoder under the sanitizers. The one property
// checked is a round trip: the Continuity messages, written back as type, length, value,
// are the start of the payload they were split from.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/decoding/apple_continuity.h"
#include "core/decoding/assigned_numbers.h"
#include "core/decoding/beacons.h"
#include "core/decoding/class_of_device.h"
#include "core/decoding/manufacturer_data.h"

using namespace quillmote;

namespace {

void decodeMessages(ByteView payload) {
    std::size_t offset = 0;
    for (const auto& message : AppleContinuity::messages(payload)) {
        const bool sameBytes = offset + 2 + message.value.size() <= payload.size() && payload[offset] == message.type &&
                               payload[offset + 1] == message.value.size() &&
                               std::equal(message.value.begin(), message.value.end(),
                                          payload.begin() + static_cast<std::ptrdiff_t>(offset) + 2);
        if (!sameBytes) std::abort();
        offset += 2 + message.value.size();
        if (auto pairing = ProximityPairing::from(message)) (void)pairing->modelName();
        if (auto device = findMyDeviceFrom(message)) (void)label(*device);
        (void)IBeacon::from(message);
        (void)displayName(message.kind());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteView input(data, size);
    if (auto manufacturer = ManufacturerData::from(input)) {
        (void)manufacturer->companyName();
        decodeMessages(manufacturer->payload);
    }
    decodeMessages(input);
    if (auto eddystone = Eddystone::fromServiceData(input)) (void)eddystone->label();

    std::uint32_t raw = 0;
    for (std::size_t i = 0; i < 4 && i < size; ++i) raw |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    ClassOfDevice cod{raw};
    (void)cod.description();
    (void)cod.kind();

    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto uuid = BeaconID::extract(text)) (void)uuid->text();
    (void)AssignedNumbers::shortUUID(text);
    (void)AssignedNumbers::serviceName(text);
    return 0;
}
