#pragma once

#include <cstddef>
#include <string>

namespace quillmote {

// What reading a log gave, and what it had to skip, each reason counted apart.
struct ImportCounts {
    std::size_t advertisements = 0;  // sightings made
    std::size_t devices = 0;         // distinct advertiser addresses among them
    std::size_t truncatedRecords = 0;    // cut short by the end of the file
    std::size_t oversizedRecords = 0;    // longer than any packet worth reading
    std::size_t damagedRecords = 0;      // own lengths that do not fit, or a failed CRC
    std::size_t impossibleTimes = 0;     // stamped outside 2000–2100
    std::size_t otherLinkTypes = 0;      // records of link types that are not read
    std::size_t cutAdvertisingData = 0;  // advertising data structures running past the end
    std::size_t pastLimit = 0;           // advertisements after the most a capture holds

    friend bool operator==(const ImportCounts&, const ImportCounts&) = default;
};

// "12,041 advertisements from 187 devices; 3 truncated records skipped"
std::string summary(const ImportCounts& counts);

}  // namespace quillmote
