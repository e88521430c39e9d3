#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unicode/coll.h>

namespace quillmote {

// The user's text order for sorting names: locale-aware, case-insensitive in the
// locale's manner, with numbers inside text compared by value ("Device 2" before
// "Device 10").
class TextOrder {
public:
    // An empty locale name means the process's default locale (from the environment).
    explicit TextOrder(const char* locale = "");

    // Negative, zero or positive, as a sorts before, with or after b.
    int compare(std::string_view a, std::string_view b) const;
    // Bytes whose plain order is this order, so a sort converts each text once
    // instead of collating it at every comparison.
    std::string sortKey(std::string_view text) const;

private:
    std::unique_ptr<icu::Collator> collator_;
};

}  // namespace quillmote
