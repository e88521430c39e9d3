#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/decoding/apple_continuity.h"
#include "core/identity/device_identity.h"

namespace quillmote::DeviceIdentifier {

// What one rule concluded from one fact.
struct Clue {
    std::optional<DeviceKind> kind;
    std::optional<std::string> label;
    std::optional<std::string> maker;
    Certainty certainty = Certainty::guess;
    std::string evidence;
    std::optional<std::string> detail;

    friend bool operator==(const Clue&, const Clue&) = default;
};

// Runs every rule in a fixed order and combines the clues: the most certain clue
// with a kind leads (earlier wins ties), the first clue with a maker names it.
// Pure: the same facts always give the same identity.
DeviceIdentity identify(const DeviceFacts& facts);

// The rules, in the order identify runs them.
std::vector<Clue> deviceClassClues(const DeviceFacts& facts);
std::optional<Clue> rangedBeaconClue(const DeviceFacts& facts);
std::vector<Clue> manufacturerClues(const DeviceFacts& facts);
std::vector<Clue> hiddenAppleClues(const DeviceFacts& facts);
std::vector<Clue> serviceClues(const DeviceFacts& facts);
std::vector<Clue> nameClues(const DeviceFacts& facts);

std::optional<Clue> appleClue(const ContinuityMessage& message);
std::optional<Clue> microsoftClue(ByteView payload);
// `data` is the service data stored under exactly this UUID, if any.
std::optional<Clue> serviceClue(std::string_view uuid, const Bytes* data);

struct ServiceHint {
    std::optional<DeviceKind> kind;
    std::string_view label;
    Certainty certainty;
};
// By short UUID text ("FEED"); absent when the service has no hint.
std::optional<ServiceHint> serviceHint(std::string_view shortUUID);

// A member-company service (0xFC00 and up) that names its maker; FD6F and FEAA,
// which many makers use, do not.
bool isMemberUUID(std::string_view shortUUID);

// "Battery: buds 50% · 100%, case 30%"; absent when no level is known.
std::optional<std::string> batteryDetail(const ProximityPairing& pairing);

// "Apple, Inc." → "Apple", "Amazon.com Services, Inc." → "Amazon".
std::string shortCompanyName(std::string_view name);

// Without repeats, first occurrences kept in order.
std::vector<std::string> orderedUnique(const std::vector<std::string>& texts);

}  // namespace quillmote::DeviceIdentifier
