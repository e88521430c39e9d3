// Any bytes as a run of Device1 property maps for one device object, whatever a
// radio or bluetoothd may send. Checked: every sighting is keyed by the device's
// address, and nothing a radio controls is held beyond its bound.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdlib>

#include "core/bluez/device_properties.h"

using namespace quillmote;
using namespace quillmote::bluez;

namespace {

constexpr std::array<const char*, 14> keys{"RSSI", "ManufacturerData", "ServiceData", "TxPower", "UUIDs",
                                           "Name", "Address", "Paired", "Connected", "Class",
                                           "AdvertisingFlags", "AdvertisingData", "Appearance", "Alias"};

Bytes bytes(FuzzedDataProvider& in) {
    return in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 4000));
}

PropertyValue value(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 8)) {
        case 0: return {in.ConsumeBool()};
        case 1: return {in.ConsumeIntegral<std::int64_t>()};
        case 2: return {in.ConsumeFloatingPoint<double>()};
        case 3: return {in.ConsumeRandomLengthString(2000)};
        case 4: return {bytes(in)};
        case 5: {
            std::vector<std::string> texts(in.ConsumeIntegralInRange(0, 100));
            for (auto& text : texts) text = in.ConsumeRandomLengthString(60);
            return {std::move(texts)};
        }
        case 6: {
            PropertyValue::CompanyData entries(in.ConsumeIntegralInRange(0, 4));
            for (auto& [company, data] : entries) {
                company = in.ConsumeIntegral<std::uint16_t>();
                data = bytes(in);
            }
            return {std::move(entries)};
        }
        case 7: {
            PropertyValue::KeyedData entries(in.ConsumeIntegralInRange(0, 100));
            for (auto& [key, data] : entries) {
                key = in.ConsumeRandomLengthString(60);
                data = bytes(in);
            }
            return {std::move(entries)};
        }
        default: return {PropertyValue::Described{in.ConsumeRandomLengthString(6000)}};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    DeviceState device;
    const std::string path = in.ConsumeBool() ? "/org/bluez/hci0/dev_C0_FF_EE_00_00_01" : in.ConsumeRandomLengthString(80);
    while (in.remaining_bytes() > 0) {
        DeviceProperties properties(in.ConsumeIntegralInRange(0, 6));
        for (auto& [key, property] : properties) {
            key = in.ConsumeBool() ? keys[in.ConsumeIntegralInRange<std::size_t>(0, keys.size() - 1)]
                                   : in.ConsumeRandomLengthString(20);
            property = value(in);
        }
        const auto sighting = applyDeviceProperties(properties, path, device, Instant{});
        if (!sighting) continue;
        const Advertisement& ad = sighting->advertisement;
        if (sighting->deviceKey != device.address || (ad.localName && ad.localName->size() > maxNameBytes) ||
            (ad.manufacturerData && ad.manufacturerData->size() > maxDataBytes + 2) ||
            ad.serviceData.size() > maxListEntries || ad.serviceUUIDs.size() > maxListEntries)
            std::abort();
        for (const auto& [key, data] : ad.serviceData)
            if (key.size() > maxNameBytes || data.size() > maxDataBytes) std::abort();
        for (const auto& [key, text] : ad.otherFields)
            if (text.size() > 4096) std::abort();
    }
    return 0;
}
