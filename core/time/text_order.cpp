#include "core/time/text_order.h"

#include <unicode/locid.h>

namespace quillmote {

TextOrder::TextOrder(const char* locale) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale chosen = *locale ? icu::Locale(locale) : icu::Locale::getDefault();
    collator_.reset(icu::Collator::createInstance(chosen, status));
    if (U_FAILURE(status) || !collator_) {
        status = U_ZERO_ERROR;
        collator_.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    status = U_ZERO_ERROR;
    collator_->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
}

int TextOrder::compare(std::string_view a, std::string_view b) const {
    UErrorCode status = U_ZERO_ERROR;
    auto result = collator_->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                         icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_FAILURE(status)) return a.compare(b);
    return result;
}

}  // namespace quillmote
