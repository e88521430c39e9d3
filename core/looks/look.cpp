#include "core/looks/look.h"

namespace quillmote {

std::string_view rawValue(Look look) {
    switch (look) {
        case Look::standard: return "Standard";
        case Look::voice: return "Voice";
        case Look::ledger: return "Ledger";
        case Look::present: return "Present";
    }
    return "Standard";
}

std::optional<Look> lookFromRaw(std::string_view raw) {
    for (Look look : allLooks)
        if (rawValue(look) == raw) return look;
    return std::nullopt;
}

}  // namespace quillmote
