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

std::string TextOrder::sortKey(std::string_view text) const {
    const icu::UnicodeString unicode =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    std::string key(64, '\0');
    // The length returned counts the key's closing zero byte.
    int32_t length = collator_->getSortKey(unicode, reinterpret_cast<uint8_t*>(key.data()),
                                           static_cast<int32_t>(key.size()));
    if (length > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<std::size_t>(length));
        length = collator_->getSortKey(unicode, reinterpret_cast<uint8_t*>(key.data()), length);
    }
    key.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
    return key;
}

}  // namespace quillmote
