#pragma once

#include <string>

namespace quillmote {

// How long ago something began, in the locale's short unit words: the largest
// whole unit and the one below it ("2 min, 5 sec", "3 hr, 12 min", "1 day"). A
// lower unit of zero is left out; under a second, or for a moment in the future,
// it reads as zero seconds.
std::string elapsedText(double seconds, const std::string& locale);

}  // namespace quillmote
