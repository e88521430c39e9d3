#include "core/table/fingerprint.h"

#include <algorithm>

#include "core/decoding/apple_continuity.h"
#include "core/decoding/manufacturer_data.h"
#include "core/table/device_record.h"

namespace quillmote {

Fingerprint::Fingerprint(const Advertisement& advertisement) : name(advertisement.localName) {
    if (auto data = ManufacturerData::from(advertisement.manufacturerData)) {
        companyID = data->companyID;
        if (data->companyID == ManufacturerData::apple) {
            auto messages = AppleContinuity::messages(data->payload);
            if (!messages.empty()) {
                continuityType = messages.front().type;
                if (auto pairing = ProximityPairing::from(messages.front())) modelCode = pairing->modelCode;
            }
        }
    }
    services = advertisement.serviceUUIDs;
    for (const auto& [uuid, data] : advertisement.serviceData) services.push_back(uuid);
    std::sort(services.begin(), services.end());
    services.erase(std::unique(services.begin(), services.end()), services.end());
}

Fingerprint::Fingerprint(const DeviceRecord& record) : Fingerprint(record.advertisement) {}

}  // namespace quillmote
