#include "core/identity/device_identity.h"

namespace quillmote {

std::string_view label(Certainty certainty) {
    switch (certainty) {
        case Certainty::guess: return "guess";
        case Certainty::likely: return "likely";
        case Certainty::sure: return "sure";
    }
    return "guess";
}

std::optional<Certainty> certaintyFromRaw(int raw) {
    switch (raw) {
        case 1: return Certainty::guess;
        case 2: return Certainty::likely;
        case 3: return Certainty::sure;
        default: return std::nullopt;
    }
}

}  // namespace quillmote
