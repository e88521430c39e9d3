#include "core/import/import_counts.h"

#include "core/sightings/fixture.h"

namespace quillmote {

namespace {

std::string grouped(std::size_t number) {
    std::string digits = std::to_string(number);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

std::string counted(std::size_t number, const char* one, const char* many) {
    return grouped(number) + " " + (number == 1 ? one : many);
}

}  // namespace

static_assert(Fixture::maxSightings == 500'000, "the summary names the limit");

std::string summary(const ImportCounts& counts) {
    std::string text = counted(counts.advertisements, "advertisement", "advertisements") + " from " +
                       counted(counts.devices, "device", "devices");
    const struct {
        std::size_t number;
        const char* one;
        const char* many;
    } skipped[] = {
        {counts.truncatedRecords, "truncated record", "truncated records"},
        {counts.oversizedRecords, "oversized record", "oversized records"},
        {counts.damagedRecords, "damaged record", "damaged records"},
        {counts.impossibleTimes, "record with an impossible time", "records with impossible times"},
        {counts.otherLinkTypes, "record of another link type", "records of other link types"},
        {counts.cutAdvertisingData, "cut advertising data structure", "cut advertising data structures"},
        {counts.pastLimit, "advertisement past the first 500,000", "advertisements past the first 500,000"},
    };
    for (const auto& kind : skipped)
        if (kind.number > 0) text += "; " + counted(kind.number, kind.one, kind.many) + " skipped";
    return text;
}

}  // namespace quillmote
